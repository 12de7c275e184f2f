#pragma once

#include "TestSupport/DesktopTest.h"

#include "Platform/Toolkit/View.h"
#include "Platform/Toolkit/Window.h"

#include <filesystem>

namespace lorvantine {

// The program's own windows on one 1440 × 900 screen: finding their controls through
// accessibility, choosing from their pop-ups, and checking their pictures.
class OwnWindowsTest : public DesktopTest {
protected:
    std::vector<AXElement> controls(const std::string& role) { return findAll(programElement(), role); }
    // The buttons of the windows' content, without the close buttons of their title bars.
    std::vector<AXElement> contentButtons()
    {
        std::vector<AXElement> buttons = controls("AXButton");
        std::erase_if(buttons, [&](const AXElement& b) { return attribute<std::string>(b, "AXSubrole") == "AXCloseButton"; });
        return buttons;
    }

    void choose(const std::string& popUpValue, const std::string& title)
    {
        for (const AXElement& popUp : controls("AXPopUpButton")) {
            if (attribute<std::string>(popUp, "AXValue") != popUpValue)
                continue;
            press(popUp);
            for (const AXElement& item : controls("AXMenuItem"))
                if (attribute<std::string>(item, "AXTitle") == title)
                    return press(item);
            ADD_FAILURE() << "no menu item " << title;
            return;
        }
        ADD_FAILURE() << "no pop-up showing " << popUpValue;
    }

    void setValue(const AXElement& element, const AXValue& value)
    {
        ASSERT_EQ(ax().setAttributeValue(element, "AXValue", value), AXError::success);
        RunLoop::runPending();
    }
    void perform(const AXElement& element, const std::string& action)
    {
        ASSERT_EQ(ax().performAction(element, action), AXError::success);
        RunLoop::runPending();
    }

    // Saves the window's picture as build/test-output/<name> for a person to look at.
    std::optional<Image> savePicture(const Window& window, const std::string& name)
    {
        RunLoop::runPending();
        auto picture = host->renderWindow(window);
        EXPECT_TRUE(picture);
        if (!picture)
            return std::nullopt;
        const auto folder = std::filesystem::path(LORVANTINE_BINARY_DIR) / "test-output";
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(picture->savePNG((folder / name).string()));
        return picture;
    }

    // Whether each view is drawn where its frame says: taking it away changes some pixels of the
    // window's picture, and only pixels inside its frame (in the window, top-left pixels).
    void expectDrawnInsideFrames(const Window& window, const std::vector<View*>& views)
    {
        const double height = window.frame().height();
        for (View* view : views) {
            RunLoop::runPending();
            auto shown = host->renderWindow(window);
            view->setHidden(true);
            RunLoop::runPending();
            auto hidden = host->renderWindow(window);
            view->setHidden(false);
            RunLoop::runPending();
            ASSERT_TRUE(shown && hidden);
            const Rect frame = view->convertToView(view->bounds(), nullptr);
            const int x0 = static_cast<int>(std::floor(frame.minX())), x1 = static_cast<int>(std::ceil(frame.maxX()));
            const int y0 = static_cast<int>(std::floor(height - frame.maxY())), y1 = static_cast<int>(std::ceil(height - frame.minY()));
            int inside = 0, outside = 0;
            for (int y = 0; y < shown->height; ++y)
                for (int x = 0; x < shown->width; ++x)
                    if (shown->pixel(x, y) != hidden->pixel(x, y))
                        ++((x >= x0 && x < x1 && y >= y0 && y < y1) ? inside : outside);
            EXPECT_GT(inside, 0) << "nothing drawn in (" << frame.minX() << ", " << frame.minY() << ", " << frame.width()
                                 << ", " << frame.height() << ")";
            EXPECT_EQ(outside, 0) << "drawn outside (" << frame.minX() << ", " << frame.minY() << ", " << frame.width()
                                  << ", " << frame.height() << ")";
        }
    }
};

} // namespace lorvantine
