#include "Support/JsonReading.h"

namespace lorvantine::JsonReading {

namespace {

std::string withoutLibraryPrefix(std::string what)
{
    if (what.rfind("[json.exception", 0) == 0) {
        if (auto close = what.find("] "); close != std::string::npos)
            what.erase(0, close + 2);
    }
    return what;
}

// The library's document builder, stopped at the first container deeper than the limit. The
// builder itself never throws here; its error, or ours, is kept for the caller.
template<typename Json>
class BoundedBuilder {
public:
    using number_integer_t = typename Json::number_integer_t;
    using number_unsigned_t = typename Json::number_unsigned_t;
    using number_float_t = typename Json::number_float_t;
    using string_t = typename Json::string_t;
    using binary_t = typename Json::binary_t;

    BoundedBuilder(Json& result, Limits limits)
        : m_builder(result, false)
        , m_maxDepth(limits.maxDepth)
        , m_maxValues(limits.maxValues)
    {
    }

    bool null() { return count() && m_builder.null(); }
    bool boolean(bool value) { return count() && m_builder.boolean(value); }
    bool number_integer(number_integer_t value) { return count() && m_builder.number_integer(value); }
    bool number_unsigned(number_unsigned_t value) { return count() && m_builder.number_unsigned(value); }
    bool number_float(number_float_t value, const string_t& text) { return count() && m_builder.number_float(value, text); }
    bool string(string_t& value) { return count() && m_builder.string(value); }
    bool binary(binary_t& value) { return count() && m_builder.binary(value); }
    bool key(string_t& value) { return m_builder.key(value); }
    bool start_object(std::size_t size) { return enter() && m_builder.start_object(size); }
    bool end_object()
    {
        --m_depth;
        return m_builder.end_object();
    }
    bool start_array(std::size_t size) { return enter() && m_builder.start_array(size); }
    bool end_array()
    {
        --m_depth;
        return m_builder.end_array();
    }
    template<typename Exception>
    bool parse_error(std::size_t position, const std::string&, const Exception& exception)
    {
        m_failure = Failure{position, withoutLibraryPrefix(exception.what())};
        return false;
    }

    const std::optional<Failure>& failure() const { return m_failure; }

private:
    bool enter()
    {
        if (!count())
            return false;
        if (++m_depth <= m_maxDepth)
            return true;
        m_failure = Failure{0, "nested deeper than " + std::to_string(m_maxDepth) + " levels", true};
        return false;
    }

    bool count()
    {
        if (!m_maxValues || ++m_values <= m_maxValues)
            return true;
        m_failure = Failure{0, "more than " + std::to_string(m_maxValues) + " values", true};
        return false;
    }

    nlohmann::detail::json_sax_dom_parser<Json> m_builder;
    size_t m_maxDepth;
    size_t m_maxValues;
    size_t m_depth = 0;
    size_t m_values = 0;
    std::optional<Failure> m_failure;
};

template<typename Json>
Expected<Json, Failure> parseAs(std::string_view text, Limits limits,
                                nlohmann::json::input_format_t format = nlohmann::json::input_format_t::json)
{
    if (limits.maxBytes && text.size() > limits.maxBytes)
        return Unexpected(Failure{limits.maxBytes, "larger than " + std::to_string(limits.maxBytes) + " bytes", true});
    Json result;
    BoundedBuilder<Json> builder(result, limits);
    bool ok = false;
    try {
        ok = Json::sax_parse(text.begin(), text.end(), &builder, format);
    } catch (const std::exception& exception) {
        // Only allocation can throw here; the document is unusable either way.
        return Unexpected(Failure{0, exception.what()});
    }
    if (ok && !builder.failure())
        return result;
    return Unexpected(builder.failure().value_or(
        Failure{0, format == nlohmann::json::input_format_t::json ? "not valid JSON" : "not valid CBOR"}));
}

} // namespace

Expected<nlohmann::json, Failure> parse(std::string_view text, Limits limits)
{
    return parseAs<nlohmann::json>(text, limits);
}

Expected<nlohmann::ordered_json, Failure> parseOrdered(std::string_view text, Limits limits)
{
    return parseAs<nlohmann::ordered_json>(text, limits);
}

Expected<nlohmann::json, Failure> parseCbor(std::string_view bytes, Limits limits)
{
    return parseAs<nlohmann::json>(bytes, limits, nlohmann::json::input_format_t::cbor);
}

} // namespace lorvantine::JsonReading
