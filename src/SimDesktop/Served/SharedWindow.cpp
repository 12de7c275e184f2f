#include "SimDesktop/Served/SharedWindow.h"

#include "Platform/Backends/DesktopWire.h"

#include <cmath>

namespace lorvantine {

namespace Wire = DesktopWire;
using Json = nlohmann::json;

namespace {

// Larger than any screen; keeps a peer's numbers from overflowing what is computed from them.
constexpr double sharedWindowMaxExtent = 1e6;
constexpr size_t sharedWindowMaxElements = 10000;

Json sharedRect(const Rect& r) { return Json::array({ r.minX(), r.minY(), r.width(), r.height() }); }

std::optional<Rect> readSharedRect(const Json& object, const char* key)
{
    const Json* json = Wire::member(object, key);
    if (!json || !json->is_array() || json->size() != 4)
        return std::nullopt;
    double v[4];
    for (size_t i = 0; i < 4; ++i) {
        if (!(*json)[i].is_number())
            return std::nullopt;
        v[i] = (*json)[i].get<double>();
        if (!std::isfinite(v[i]) || std::fabs(v[i]) > sharedWindowMaxExtent || (i >= 2 && v[i] < 0))
            return std::nullopt;
    }
    return Rect(v[0], v[1], v[2], v[3]);
}

std::optional<SharedWindow::Element> readSharedElement(const Json& json, int index)
{
    if (!json.is_object())
        return std::nullopt;
    SharedWindow::Element e;
    auto id = Wire::integer(json, "id");
    auto parent = Wire::integer(json, "parent");
    const std::string* role = Wire::string(json, "role");
    auto frame = readSharedRect(json, "frame");
    auto actions = Wire::member(json, "actions") ? Wire::readStrings(*Wire::member(json, "actions")) : std::nullopt;
    if (!id || *id < 0 || !parent || *parent < -1 || *parent >= index || !role || !frame || !actions)
        return std::nullopt;
    e.id = static_cast<uint64_t>(*id);
    e.parent = static_cast<int>(*parent);
    e.role = *role;
    e.frame = *frame;
    e.actions = std::move(*actions);
    for (auto [key, field] : { std::pair { "subrole", &e.subrole }, std::pair { "title", &e.title },
                               std::pair { "description", &e.description } })
        if (const std::string* s = Wire::string(json, key))
            *field = *s;
    if (const Json* value = Wire::member(json, "value")) {
        e.value = Wire::readValue(*value);
        if (!e.value)
            return std::nullopt;
    }
    e.enabled = Wire::boolean(json, "enabled").value_or(true);
    e.valueSettable = Wire::boolean(json, "settable").value_or(false);
    return e;
}

} // namespace

Json SharedWindow::toWire() const
{
    Json out = { { "number", number }, { "frame", sharedRect(frame) }, { "level", level }, { "alpha", alpha },
                 { "title", title }, { "subrole", subrole }, { "ignoresMouse", ignoresMouseEvents },
                 { "activates", activatesOnClick }, { "front", toFront } };
    if (picture) {
        out["picture"] = Json::binary(*picture);
        out["pictureArea"] = sharedRect(pictureArea);
    }
    if (elements) {
        Json list = Json::array();
        for (const auto& e : *elements) {
            Json element = { { "id", e.id }, { "parent", e.parent }, { "role", e.role }, { "frame", sharedRect(e.frame) },
                             { "actions", Wire::strings(e.actions) }, { "enabled", e.enabled } };
            if (!e.subrole.empty())
                element["subrole"] = e.subrole;
            if (!e.title.empty())
                element["title"] = e.title;
            if (!e.description.empty())
                element["description"] = e.description;
            if (e.value)
                element["value"] = Wire::value(*e.value);
            if (e.valueSettable)
                element["settable"] = true;
            list.push_back(std::move(element));
        }
        out["elements"] = std::move(list);
    }
    return out;
}

std::optional<SharedWindow> SharedWindow::fromWire(const Json& json)
{
    if (!json.is_object())
        return std::nullopt;
    SharedWindow w;
    auto number = Wire::integer(json, "number");
    auto frame = readSharedRect(json, "frame");
    auto level = Wire::integer(json, "level");
    auto alpha = Wire::number(json, "alpha");
    if (!number || *number <= 0 || *number > UINT32_MAX || !frame || !level || *level < INT32_MIN || *level > INT32_MAX
        || !alpha || !std::isfinite(*alpha))
        return std::nullopt;
    w.number = static_cast<uint32_t>(*number);
    w.frame = *frame;
    w.level = static_cast<int32_t>(*level);
    w.alpha = std::fmin(std::fmax(*alpha, 0.0), 1.0);
    if (const std::string* title = Wire::string(json, "title"))
        w.title = *title;
    if (const std::string* subrole = Wire::string(json, "subrole"))
        w.subrole = *subrole;
    w.ignoresMouseEvents = Wire::boolean(json, "ignoresMouse").value_or(false);
    w.activatesOnClick = Wire::boolean(json, "activates").value_or(true);
    w.toFront = Wire::boolean(json, "front").value_or(false);
    if (const Json* picture = Wire::member(json, "picture")) {
        if (!picture->is_binary())
            return std::nullopt;
        const auto& bytes = picture->get_binary();
        auto area = readSharedRect(json, "pictureArea");
        if (!area)
            return std::nullopt;
        w.picture = std::vector<uint8_t>(bytes.begin(), bytes.end());
        w.pictureArea = *area;
    }
    if (const Json* list = Wire::member(json, "elements")) {
        if (!list->is_array() || list->size() > sharedWindowMaxElements)
            return std::nullopt;
        std::vector<Element> elements;
        for (const auto& item : *list) {
            auto e = readSharedElement(item, static_cast<int>(elements.size()));
            if (!e)
                return std::nullopt;
            elements.push_back(std::move(*e));
        }
        w.elements = std::move(elements);
    }
    return w;
}

} // namespace lorvantine
