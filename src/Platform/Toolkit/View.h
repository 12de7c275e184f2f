#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Toolkit/Animation.h"
#include "Platform/Toolkit/Appearance.h"
#include "Platform/Toolkit/Color.h"
#include "Platform/Geometry.h"
#include "Platform/Toolkit/KeyEvent.h"
#include "Platform/Toolkit/MouseEvent.h"
#include "Platform/Toolkit/TrackingArea.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class Painter;
class Window;

// A rectangle of a window's retained view tree: the stand-in for the platform's view. Frames are
// in the superview's coordinates, with the origin at the bottom-left corner and y upward (unless
// the superview is flipped). Every view is layer-backed: background colour, corner radius,
// border and shadow belong to the view itself. Subclasses draw in `draw` and handle the mouse
// in the event methods; controls are subclasses.
//
// Ownership: a superview holds its subviews, a window its content view; create views with
// std::make_shared. Main thread only (asserted).
class View : public std::enable_shared_from_this<View> {
public:
    explicit View(const Rect& frame = {});
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // --- Geometry ---
    const Rect& frame() const { return m_frame; }
    void setFrame(const Rect& frame);
    void setFrameOrigin(Point origin);
    void setFrameSize(Size size);
    // (0, 0, width, height).
    Rect bounds() const { return Rect(0, 0, m_frame.width(), m_frame.height()); }
    // A flipped view's own y axis grows downward (its subviews' frames and its drawing).
    virtual bool isFlipped() const { return false; }

    // --- Tree ---
    View* superview() const { return m_superview; }
    const std::vector<std::shared_ptr<View>>& subviews() const { return m_subviews; }
    // Takes `view` from its old superview and puts it in front of the other subviews.
    void addSubview(std::shared_ptr<View> view);
    void removeFromSuperview();
    Window* window() const;
    bool isDescendantOf(const View& view) const;
    // Called after the view (or an ancestor) entered a window or left one.
    virtual void viewDidMoveToWindow() { }

    // --- Look ---
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden);
    bool isHiddenOrHasHiddenAncestor() const;
    // Animatable (see AnimationContext).
    double alphaValue() const { return m_alpha; }
    void setAlphaValue(double alpha);
    // Animatable. None: nothing is drawn behind the content.
    const std::optional<Color>& backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(std::optional<Color> color);
    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius);
    // Whether the subviews are cut at the view's rounded bounds.
    bool masksToBounds() const { return m_masksToBounds; }
    void setMasksToBounds(bool masks);
    double borderWidth() const { return m_borderWidth; }
    void setBorderWidth(double width);
    const Color& borderColor() const { return m_borderColor; }
    void setBorderColor(const Color& color);
    // The shadow of the view's background and border shape; none while the opacity is 0.
    const Color& shadowColor() const { return m_shadowColor; }
    void setShadowColor(const Color& color);
    double shadowOpacity() const { return m_shadowOpacity; }
    void setShadowOpacity(double opacity);
    double shadowRadius() const { return m_shadowRadius; }
    void setShadowRadius(double radius);
    // y upward: (0, -2) casts the shadow 2 points below.
    Size shadowOffset() const { return m_shadowOffset; }
    void setShadowOffset(Size offset);
    // Animatable. Radians, counter-clockwise about the view's centre; turns its drawing and
    // subviews (not its frame, hit testing or tracking).
    double rotation() const { return m_rotation; }
    void setRotation(double radians);
    // Animatable. 1 is the natural size; scales the drawing and subviews about the view's centre
    // (not its frame, hit testing or tracking).
    double scale() const { return m_scale; }
    void setScale(double scale);
    // None: the window's.
    const std::optional<Appearance>& appearance() const { return m_appearance; }
    void setAppearance(std::optional<Appearance> appearance);
    Appearance effectiveAppearance() const;

    // What the view shows now: the property, or the value of the animations running on it.
    double presentationAlpha() const;
    std::optional<Color> presentationBackgroundColor() const;
    double presentationRotation() const;
    double presentationScale() const;
    // The frame is animatable too: inside an animation group the view is drawn moving from the
    // frame it showed to the new one, while `frame()` answers the new one at once.
    Rect presentationFrame() const;

    // --- Animations ---
    // Replaces an animation under the same key (which ends unfinished).
    void addAnimation(const std::string& key, Animation animation);
    void removeAnimation(const std::string& key);
    void removeAllAnimations();
    std::vector<std::string> animationKeys() const;
    const Animation* animation(const std::string& key) const;

    // --- Drawing ---
    // Draws the window again (soon; the backend draws what changed before it shows pixels), and
    // tells accessibility that what the window shows may have changed.
    void setNeedsDisplay();
    // Only the drawing of `rect` (in this view's coordinates) changed: that part of the window is
    // drawn again, and accessibility is not asked.
    void setNeedsDisplayInRect(const Rect& rect);
    // Where the view and its subviews draw, as they show now, in the window's coordinates: its
    // bounds with its shadow, grown by its scale and turned by its rotation, and those of its
    // subviews unless it masks them.
    Rect drawnRectInWindow() const;
    // The view's own content, above its background and below its subviews and border; clipped
    // to its bounds. Default: nothing.
    virtual void draw(Painter& painter, const Rect& dirtyRect);

    // --- Events ---
    // The deepest visible view under `point` (in the superview's coordinates), this one or a
    // subview; null when outside.
    virtual View* hitTest(Point pointInSuperview);
    // Whether a click that brings an inactive window forward also acts on this view.
    virtual bool acceptsFirstMouse(const MouseEvent& event) const;
    // Defaults pass the event on to the superview. Mouse-up and dragged events go to the view
    // that got the mouse-down.
    virtual void mouseDown(const MouseEvent& event);
    virtual void mouseUp(const MouseEvent& event);
    virtual void mouseDragged(const MouseEvent& event);
    virtual void rightMouseDown(const MouseEvent& event);
    virtual void rightMouseUp(const MouseEvent& event);
    // From tracking areas.
    virtual void mouseMoved(const MouseEvent& event);
    virtual void mouseEntered(const MouseEvent& event);
    virtual void mouseExited(const MouseEvent& event);

    // --- Keys ---
    // Whether the view takes the keys typed into its window (an editable text field does).
    virtual bool acceptsFirstResponder() const { return false; }
    // Told when the window made the view its first responder, and when it stopped being it.
    virtual void didBecomeFirstResponder() { }
    virtual void didResignFirstResponder() { }
    // A key typed while the view is its window's first responder. Default: the superview's.
    virtual void keyDown(const KeyEvent& event);
    // Offered each key typed into the window before its first responder gets it: a view the key
    // is meant for (a button whose key equivalent it is) acts on it and answers true. Default:
    // offers it to the subviews, front-most first; a hidden view and its subviews take none.
    virtual bool performKeyEquivalent(const KeyEvent& event);

    void addTrackingArea(std::shared_ptr<TrackingArea> area);
    void removeTrackingArea(const std::shared_ptr<TrackingArea>& area);
    const std::vector<std::shared_ptr<TrackingArea>>& trackingAreas() const { return m_trackingAreas; }
    // Called when the view enters a window, when its size changes and when its window comes on
    // screen: rebuild tracking areas here. Default: nothing.
    virtual void updateTrackingAreas() { }
    // The rectangle a tracking area covers now, in this view's coordinates.
    Rect effectiveRect(const TrackingArea& area) const;

    // --- Coordinates --- (a null view: the window's coordinates)
    Point convertFromView(Point point, const View* view) const;
    Point convertToView(Point point, const View* view) const;
    Rect convertFromView(const Rect& rect, const View* view) const;
    Rect convertToView(const Rect& rect, const View* view) const;
    // The part of the bounds not clipped away by the ancestors' bounds (their own coordinates).
    Rect visibleRect() const;

    // --- Accessibility ---
    // A view with an empty role is not an accessibility element: its subviews take its place.
    virtual std::string accessibilityRole() const { return {}; }
    virtual std::string accessibilitySubrole() const { return {}; }
    virtual std::string accessibilityTitle() const { return {}; }
    virtual std::string accessibilityDescription() const { return {}; }
    virtual std::optional<std::string> accessibilityValue() const { return std::nullopt; }
    // The value as accessibility hands it out: by default the text above; a control whose value
    // is a number (a check box's state, a slider's position) answers the number.
    virtual std::optional<AXValue> accessibilityTypedValue() const;
    virtual bool isAccessibilityEnabled() const { return true; }
    // "AXPress": true when the view did something.
    virtual bool accessibilityPerformPress() { return false; }
    // Actions besides "AXPress" (which the roles that take it get anyway), such as "AXConfirm".
    virtual std::vector<std::string> accessibilityActionNames() const { return {}; }
    // "AXPress" goes to `accessibilityPerformPress`; true when the view did something.
    virtual bool accessibilityPerformAction(const std::string& action);
    // Whether "AXValue" may be set, and setting it (as the user would, actions included); false
    // when the view refuses the value, and then keeps its own.
    virtual bool isAccessibilityValueSettable() const { return false; }
    virtual bool accessibilitySetValue(const AXValue& value);

protected:
    // Controls' default colours for the appearance in effect.
    Color labelColor() const;

private:
    friend class Window;
    friend class ViewAnimator;
    struct RunningAnimation;
    // Holds back the drawing of a change of the view's animated values or animations until the
    // outermost one ends, then has the animator draw what changed on screen, if anything.
    class LookChange;

    void setWindow(Window* window);
    void propertyChanged();
    // Drawing alone changed, within `before` (window coordinates) and where the view draws now.
    void lookChanged(const Rect& before);
    // Where the view and its subviews draw, in its superview's coordinates.
    Rect drawnRectInSuperview() const;
    // Whether any of that meets `visible` (in its superview's coordinates).
    bool mayShowWithin(const Rect& visible) const;
    // Its bounds and shadow, in its own coordinates.
    Rect ownDrawnRect() const;
    Rect toSuperview(const Rect& rect) const;
    // While its window is off screen, its animations stand still and nothing redraws them.
    bool animationsPaused() const;
    void setAnimationsPaused(bool paused);
    void pauseOwnAnimations(bool paused);
    void geometryChanged(bool sizeChanged);
    Point toSuperview(Point p) const;
    Point fromSuperview(Point p) const;
    void drawTree(Painter& painter);
    void setAnimatable(AnimatedProperty property, AnimationValue value);
    void animateImplicitly(AnimatedProperty property, const AnimationValue& shown, const AnimationValue& value);
    std::optional<AnimationValue> presentation(AnimatedProperty property) const;
    AnimationValue modelValue(AnimatedProperty property) const;
    // Ends `running` when it has run its course.
    void scheduleEnd(const std::shared_ptr<RunningAnimation>& running);

    Rect m_frame;
    View* m_superview = nullptr;
    Window* m_window = nullptr;
    std::vector<std::shared_ptr<View>> m_subviews;
    std::vector<std::shared_ptr<TrackingArea>> m_trackingAreas;

    bool m_hidden = false;
    double m_alpha = 1;
    std::optional<Color> m_backgroundColor;
    double m_cornerRadius = 0;
    bool m_masksToBounds = false;
    double m_borderWidth = 0;
    Color m_borderColor = Color::black();
    Color m_shadowColor = Color::black();
    double m_shadowOpacity = 0;
    double m_shadowRadius = 3;
    Size m_shadowOffset { 0, -3 };
    double m_rotation = 0;
    double m_scale = 1;
    std::optional<Appearance> m_appearance;

    std::vector<std::pair<std::string, std::shared_ptr<RunningAnimation>>> m_animations;
    int m_lookChanges = 0;
};

} // namespace lorvantine
