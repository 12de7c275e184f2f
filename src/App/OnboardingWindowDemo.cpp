#include "App/OnboardingWindow.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/TextMeasurer.h"
#include "Platform/Toolkit/Window.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

namespace {

// The demo player's progress track; the fill grows to its whole width.
constexpr double demoProgressTrackWidth = 326;

std::string demoText(const char* key, const char* comment) { return LocalizedStrings::string(key, comment, ""); }

bool hasSpace(const std::string& text) { return text.find(' ') != std::string::npos; }

// The demo browser's tab title: the format with the article title in place of its one "%@".
std::string tabTitle()
{
    std::string format = demoText("onboarding.demo.browser.title", "Demo browser tab title format");
    const std::string title = demoText("onboarding.demo.title", "Demo article title");
    if (const auto at = format.find("%@"); at != std::string::npos)
        format.replace(at, 2, title);
    return format;
}

std::shared_ptr<View> filledView(const Rect& frame, const Color& colour, double cornerRadius)
{
    auto view = std::make_shared<View>(frame);
    view->setBackgroundColor(colour);
    view->setCornerRadius(cornerRadius);
    return view;
}

} // namespace

std::vector<std::string> OnboardingWindow::demoParagraphs()
{
    return { demoText("onboarding.demo.paragraph.1", "Demo paragraph 1"), demoText("onboarding.demo.paragraph.2", "Demo paragraph 2"),
             demoText("onboarding.demo.paragraph.3", "Demo paragraph 3") };
}

OnboardingWindow::WordLabels OnboardingWindow::buildWordLabels(const std::string& text, View& container, double startX,
                                                               double baselineY, double maxWidth, double lineHeight)
{
    const Font font = Font::system(12);
    const bool words = hasSpace(text);
    const std::vector<std::string> tokens = words ? Text::splitOnWhitespace(text) : Text::characters(text);
    const double gap = words ? 4 : 0;
    WordLabels result;
    if (tokens.empty())
        return result;
    double x = startX;
    double y = baselineY + lineHeight;
    for (const std::string& token : tokens) {
        const double w = std::ceil(TextMeasurer::current().size(token, font).width) + 1;
        if (x + w > startX + maxWidth && x != startX) {
            y -= lineHeight;
            x = startX;
        }
        auto highlight = filledView(Rect(x - 2, y - 2, w + 4, lineHeight + 3), accent.withAlpha(0.45), 3);
        highlight->setAlphaValue(0);
        container.addSubview(highlight);
        result.highlights.push_back(highlight);
        auto label = makeLabel(Rect(x, y, w, lineHeight), token, 12, Font::Weight::regular, textDim);
        label->setLineBreakMode(LineBreakMode::clipping);
        container.addSubview(label);
        result.labels.push_back(label);
        x += w + gap;
    }
    return result;
}

void OnboardingWindow::buildDemoPage(View& content)
{
    auto page = std::make_shared<View>(Rect(50, 250, 460, 260));
    page->setCornerRadius(10);
    page->setMasksToBounds(true);
    page->setBorderColor(Color::white(0.1));
    page->setBorderWidth(1);
    content.addSubview(page);

    auto titleBar = filledView(Rect(0, 230, 460, 30), barColor, 0);
    const Color dots[] = { Color::rgb(1.0, 0.37, 0.34), Color::rgb(0.99, 0.74, 0.18), Color::rgb(0.16, 0.78, 0.25) };
    for (int k = 0; k < 3; ++k)
        titleBar->addSubview(filledView(Rect(10 + 16 * k, 10, 10, 10), dots[k], 5));
    titleBar->addSubview(makeLabel(Rect(64, 7, 300, 16), tabTitle(), 11, Font::Weight::regular, textSecondary));
    page->addSubview(titleBar);

    auto area = filledView(Rect(0, 0, 460, 230), contentBg, 0);
    page->addSubview(area);
    area->addSubview(makeLabel(Rect(24, 194, 412, 20), demoText("onboarding.demo.title", "Demo article title"), 15,
                               Font::Weight::bold, textPrimary));

    const auto paragraphs = demoParagraphSource ? demoParagraphSource() : demoParagraphs();
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        const double y = 148 - 40.0 * static_cast<double>(i);
        auto background = filledView(Rect(20, y - 3, 360, 36), accent.withAlpha(0.06), 4);
        background->setAlphaValue(0);
        area->addSubview(background);
        m_demoParagraphBgs.push_back(background);
        auto bar = filledView(Rect(20, y - 3, 3, 36), accent, 1.5);
        bar->setAlphaValue(0);
        area->addSubview(bar);
        m_demoParagraphBorders.push_back(bar);
        if (i != 1) {
            auto text = makeLabel(Rect(30, y, 330, 30), paragraphs[i], 12, Font::Weight::regular, textDim);
            text->setLineBreakMode(LineBreakMode::wordWrapping);
            area->addSubview(text);
            m_demoParagraphLabels.push_back(text);
            continue;
        }
        auto words = buildWordLabels(paragraphs[i], *area, 30, y, 330, 15);
        m_demoWordLabels = std::move(words.labels);
        m_demoWordHighlights = std::move(words.highlights);
        // The reading paragraph's place in the list, held by an empty label.
        auto placeholder = makeLabel(Rect(30, y, 330, 30), "", 12, Font::Weight::regular, textDim);
        placeholder->setHidden(true);
        area->addSubview(placeholder);
        m_demoParagraphLabels.push_back(placeholder);
    }

    m_demoSelectionOverlay = filledView(Rect(30, 105, 330, 36), Color::rgb(0.38, 0.6, 0.96, 0.3), 3);
    m_demoSelectionOverlay->setAlphaValue(0);
    area->addSubview(m_demoSelectionOverlay);

    m_demoBubbleView = filledView(Rect(388, 109, 28, 28), accent, 6);
    m_demoBubbleView->setShadowColor(accent);
    m_demoBubbleView->setShadowOpacity(0.5);
    m_demoBubbleView->setShadowOffset(Size { 0, 0 });
    m_demoBubbleView->setShadowRadius(4);
    m_demoBubbleView->setAlphaValue(0);
    m_demoBubbleView->addSubview(makeSymbol(Rect(6, 7, 16, 14), "speaker.wave.2.fill", 10, Font::Weight::bold, Color::white()));
    area->addSubview(m_demoBubbleView);

    m_demoPlayerView = filledView(Rect(12, 10, 436, 30), Color::rgb(0.06, 0.09, 0.16, 0.95), 6);
    m_demoPlayerView->setBorderColor(Color::white(0.1));
    m_demoPlayerView->setBorderWidth(1);
    m_demoPlayerView->setAlphaValue(0);
    m_demoPlayerView->addSubview(makeSymbol(Rect(10, 7, 14, 16), "play.fill", 8, Font::Weight::bold, accent));
    auto track = filledView(Rect(30, 13, demoProgressTrackWidth, 3), Color::rgb(0.12, 0.16, 0.24), 1.5);
    m_demoProgressFill = filledView(Rect(0, 0, 0, 3), accent, 1.5);
    track->addSubview(m_demoProgressFill);
    m_demoPlayerView->addSubview(track);
    m_demoParaCountLabel = makeLabel(Rect(364, 8, 24, 14), "1/1", 10, Font::Weight::regular, textSecondary);
    m_demoPlayerView->addSubview(m_demoParaCountLabel);
    m_demoPlayerView->addSubview(makeLabel(Rect(400, 8, 30, 14), "1.5x", 10, Font::Weight::semibold, accent));
    area->addSubview(m_demoPlayerView);
}

void OnboardingWindow::resetDemoVisuals()
{
    for (const auto& view : { m_demoSelectionOverlay, m_demoBubbleView, m_demoPlayerView })
        if (view)
            view->setAlphaValue(0);
    if (m_demoProgressFill) {
        const Rect frame = m_demoProgressFill->frame();
        m_demoProgressFill->setFrame(Rect(frame.origin, Size { 0, frame.height() }));
    }
    if (m_demoParaCountLabel)
        m_demoParaCountLabel->setText("1/1");
    for (const auto* views : { &m_demoParagraphBgs, &m_demoParagraphBorders, &m_demoWordHighlights })
        for (const auto& view : *views)
            view->setAlphaValue(0);
    for (const auto* labels : { &m_demoParagraphLabels, &m_demoWordLabels })
        for (const auto& label : *labels)
            label->setTextColor(textDim);
}

void OnboardingWindow::after(double delay, int gen, std::function<void()> action)
{
    std::weak_ptr<OnboardingWindow> weak = weak_from_this();
    DispatchQueue::main().asyncAfter(seconds(delay), [weak, gen, action = std::move(action)]() mutable {
        auto self = weak.lock();
        if (!self || self->m_animGenId != gen)
            return;
        // Nobody sees a hidden or closed window's demo: it waits there, costing nothing, until the
        // window shows again.
        if (!self->m_window) {
            action();
            return;
        }
        self->m_window->performWhenVisible([weak, gen, action = std::move(action)] {
            auto shown = weak.lock();
            if (shown && shown->m_animGenId == gen)
                action();
        });
    });
}

double OnboardingWindow::wordTime() const
{
    const auto paragraphs = demoParagraphSource ? demoParagraphSource() : demoParagraphs();
    if (paragraphs.empty())
        return 0.13;
    const size_t reading = std::min<size_t>(paragraphs.size(), 2) - 1;
    return hasSpace(paragraphs[reading]) ? 0.18 : 0.13;
}

void OnboardingWindow::startDemoAnimation()
{
    const int gen = ++m_animGenId;
    resetDemoVisuals();
    after(0.8, gen, [this, gen] { animShowSelection(gen); });
}

void OnboardingWindow::animShowSelection(int gen)
{
    if (m_animGenId != gen)
        return;
    if (auto overlay = m_demoSelectionOverlay)
        AnimationContext::run(seconds(0.3), [&] { overlay->setAlphaValue(1); });
    after(0.6, gen, [this, gen] { animShowBubble(gen); });
}

void OnboardingWindow::animShowBubble(int gen)
{
    if (m_animGenId != gen)
        return;
    if (auto bubble = m_demoBubbleView)
        AnimationContext::run(seconds(0.25), [&] { bubble->setAlphaValue(1); });
    after(0.3, gen, [this, gen] { animBubblePulse(gen); });
}

void OnboardingWindow::animBubblePulse(int gen)
{
    if (m_animGenId != gen || !m_demoBubbleView)
        return;
    Animation pulse;
    pulse.property = AnimatedProperty::scale;
    pulse.from = 1.0;
    pulse.to = 1.18;
    pulse.duration = seconds(0.35);
    pulse.autoreverses = true;
    pulse.repeatCount = 1;
    m_demoBubbleView->addAnimation("pulse", std::move(pulse));
    after(0.9, gen, [this, gen] { animBubbleClick(gen); });
}

void OnboardingWindow::animBubbleClick(int gen)
{
    if (m_animGenId != gen || !m_demoBubbleView)
        return;
    Animation click;
    click.property = AnimatedProperty::scale;
    click.from = 1.0;
    click.to = 0.85;
    click.duration = seconds(0.15);
    click.autoreverses = true;
    m_demoBubbleView->addAnimation("click", std::move(click));
    after(0.3, gen, [this, gen] { animStartReading(gen); });
}

void OnboardingWindow::animStartReading(int gen)
{
    if (m_animGenId != gen || m_demoParagraphBgs.empty())
        return;
    const size_t paragraph = std::min<size_t>(1, m_demoParagraphBgs.size() - 1);
    AnimationContext::run(seconds(0.25), [&] {
        if (m_demoSelectionOverlay)
            m_demoSelectionOverlay->setAlphaValue(0);
        if (m_demoBubbleView)
            m_demoBubbleView->setAlphaValue(0);
    });
    after(0.25, gen, [this, gen, paragraph] { animReadingStart(gen, paragraph); });
}

void OnboardingWindow::animReadingStart(int gen, size_t paragraph)
{
    AnimationContext::run(seconds(0.3), [&] {
        if (paragraph < m_demoParagraphBgs.size())
            m_demoParagraphBgs[paragraph]->setAlphaValue(1);
        if (paragraph < m_demoParagraphBorders.size())
            m_demoParagraphBorders[paragraph]->setAlphaValue(1);
        if (m_demoPlayerView)
            m_demoPlayerView->setAlphaValue(1);
    });
    if (m_demoParaCountLabel)
        m_demoParaCountLabel->setText("1/1");
    const auto paragraphs = demoParagraphSource ? demoParagraphSource() : demoParagraphs();
    const bool words = paragraph < paragraphs.size() && hasSpace(paragraphs[paragraph]);
    const double t = words ? 0.18 : 0.13;
    const double d = t * static_cast<double>(std::max<size_t>(m_demoWordLabels.size(), 1));
    if (auto fill = m_demoProgressFill) {
        const Rect frame = fill->frame();
        // The progress runs evenly, as the words do.
        AnimationContext::run(seconds(d), [&] { fill->setFrame(Rect(frame.origin, Size { demoProgressTrackWidth, frame.height() })); },
                              {}, TimingFunction::linear);
    }
    after(0.2, gen, [this, gen] { animWordHighlight(0, gen); });
}

void OnboardingWindow::animWordHighlight(size_t wordIdx, int gen)
{
    if (m_animGenId != gen)
        return;
    const size_t k = m_demoWordLabels.size();
    if (k == 0) {
        after(1.5, gen, [this, gen] { animLoopRestart(gen); });
        return;
    }
    if (wordIdx >= k) {
        after(1.0, gen, [this, gen] { animLoopRestart(gen); });
        return;
    }
    if (wordIdx < m_demoWordHighlights.size()) {
        auto highlight = m_demoWordHighlights[wordIdx];
        AnimationContext::run(seconds(0.12), [&] { highlight->setAlphaValue(1); });
    }
    m_demoWordLabels[wordIdx]->setTextColor(textPrimary);
    if (wordIdx >= 1) {
        if (wordIdx - 1 < m_demoWordHighlights.size()) {
            auto previous = m_demoWordHighlights[wordIdx - 1];
            AnimationContext::run(seconds(0.15), [&] { previous->setAlphaValue(0); });
        }
        m_demoWordLabels[wordIdx - 1]->setTextColor(textSpoken);
    }
    after(wordTime(), gen, [this, gen, next = wordIdx + 1] { animWordHighlight(next, gen); });
}

void OnboardingWindow::animLoopRestart(int gen)
{
    if (m_animGenId != gen)
        return;
    std::weak_ptr<OnboardingWindow> weak = weak_from_this();
    AnimationContext::run(
        seconds(0.4),
        [&] {
            if (m_demoPlayerView)
                m_demoPlayerView->setAlphaValue(0);
            for (const auto* views : { &m_demoParagraphBgs, &m_demoParagraphBorders, &m_demoWordHighlights })
                for (const auto& view : *views)
                    view->setAlphaValue(0);
        },
        [weak, gen] {
            auto self = weak.lock();
            if (!self || self->m_animGenId != gen)
                return;
            self->resetDemoVisuals();
            self->after(0.8, gen, [raw = self.get(), gen] { raw->animShowSelection(gen); });
        });
}

} // namespace lorvantine
