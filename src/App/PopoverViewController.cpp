#include "App/PopoverViewController.h"

#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/View.h"

namespace lorvantine {

namespace {

constexpr Color popoverAccent = Color::rgb(0.9490196078431372, 0.396078431372549, 0.13333333333333333);
constexpr Color secondaryLabel = Color::rgb(0, 0, 0, 0.5);

std::shared_ptr<Label> secondaryLine(const Rect& frame, const std::string& text, double size)
{
    auto label = std::make_shared<Label>(frame, text);
    label->setFont(Font::system(size));
    label->setTextColor(secondaryLabel);
    return label;
}

} // namespace

std::shared_ptr<PopoverViewController> PopoverViewController::make()
{
    std::shared_ptr<PopoverViewController> controller(new PopoverViewController());
    controller->build();
    return controller;
}

void PopoverViewController::build()
{
    m_view = std::make_shared<View>(Rect(0, 0, width, height));
    auto weak = weak_from_this();
    auto title = std::make_shared<Label>(Rect(16, 240, 200, 24), "Lorvantine");
    title->setFont(Font::system(16, Font::Weight::semibold));
    m_view->addSubview(title);

    auto settings = std::make_shared<Button>(Rect(280, 240, 24, 24));
    const std::string tooltip = LocalizedStrings::string("popover.settings.tooltip", "Settings gear tooltip");
    if (auto gear = SymbolImage::named("gearshape", tooltip))
        settings->setImage(gear->withConfiguration(14, Font::Weight::medium));
    settings->setImagePosition(ImagePosition::imageOnly);
    settings->setBezelStyle(BezelStyle::inlineBezel);
    settings->setBordered(false);
    settings->onAction = [weak] {
        if (auto self = weak.lock())
            self->openPreferences();
    };
    m_view->addSubview(settings);

    auto read = std::make_shared<Button>(Rect(16, 192, 288, 36),
                                         LocalizedStrings::string("popover.action.read_current", "Read current page button"));
    read->setBezelStyle(BezelStyle::rounded);
    read->setContentTintColor(popoverAccent);
    read->setFont(Font::system(15, Font::Weight::medium));
    read->onAction = [weak] {
        if (auto self = weak.lock())
            self->readCurrentPage();
    };
    m_view->addSubview(read);

    m_view->addSubview(secondaryLine(Rect(16, 168, 288, 16),
                                     LocalizedStrings::string("popover.shortcut.label", "Keyboard shortcut hint"), 11));

    auto separator = std::make_shared<View>(Rect(16, 156, 288, 1));
    separator->setBackgroundColor(Color::black(0.12));
    m_view->addSubview(separator);

    m_view->addSubview(secondaryLine(Rect(16, 128, 288, 16),
                                     LocalizedStrings::string("popover.status.ready", "Popover ready status"), 12));

    auto quit = std::make_shared<Button>(Rect(16, 16, 288, 20), LocalizedStrings::string("popover.action.quit", "Quit button"));
    quit->setBezelStyle(BezelStyle::inlineBezel);
    quit->setBordered(false);
    quit->setFont(Font::system(12));
    quit->setContentTintColor(secondaryLabel);
    quit->onAction = [weak] {
        if (auto self = weak.lock())
            self->quitApp();
    };
    m_view->addSubview(quit);
}

void PopoverViewController::readCurrentPage()
{
    if (onReadCurrentPage)
        onReadCurrentPage();
}

void PopoverViewController::openPreferences()
{
    if (onOpenPreferences)
        onOpenPreferences();
}

void PopoverViewController::quitApp() { Application::shared().terminate(); }

} // namespace lorvantine
