#include "Core/ArticleReader.h"

#include "Audio/AudioPlayer.h"
#include "Network/TTSClient.h"
#include "Platform/Dispatch.h"
#include "Support/Log.h"
#include "Support/Text.h"

namespace lorvantine {

namespace {

constexpr size_t emptyAnswerPreviewLength = 60;

// What the answers of one paragraph have produced so far. The part and done handlers run one
// after another on the speech client's queue, so they share it without a lock.
struct ParagraphProgress {
    int partCount = 0;
    int textOffset = 0;
};

} // namespace

void ArticleReader::generateAll(const std::vector<ArticleParagraph>& paragraphs, int index, int genId)
{
    if (!isCurrentGeneration(genId))
        return;
    if (index < 0 || paragraphs.size() <= static_cast<size_t>(index))
        return;

    // One paragraph's request chain at a time: a paragraph signals only when its whole chain is
    // done, so the server sees this reading's paragraphs in order and never two at once.
    auto semaphore = std::make_shared<Semaphore>(1);
    auto group = std::make_shared<DispatchGroup>();
    std::weak_ptr<ArticleReader> weak = weak_from_this();

    for (size_t i = static_cast<size_t>(index); i < paragraphs.size(); ++i) {
        if (!isCurrentGeneration(genId))
            break;
        semaphore->wait();
        if (!isCurrentGeneration(genId)) {
            semaphore->signal();
            break;
        }
        group->enter();
        DispatchQueue::global(QualityOfService::userInitiated).async([weak, paragraph = paragraphs[i], genId, semaphore, group] {
            auto done = [semaphore, group] {
                semaphore->signal();
                group->leave();
            };
            auto self = weak.lock();
            if (!self) {
                done();
                return;
            }
            if (paragraph.text.empty()) {
                if (self->m_generationId == genId)
                    self->m_player->markParagraphFinished(paragraph.index, genId);
                done();
                return;
            }
            self->generateOne(paragraph, genId, std::move(done));
        });
    }
    group->wait();
}

void ArticleReader::generateOne(const ArticleParagraph& paragraph, int genId, std::function<void()> completion)
{
    auto progress = std::make_shared<ParagraphProgress>();
    std::weak_ptr<ArticleReader> weak = weak_from_this();
    const int index = paragraph.index;

    auto onPart = [weak, progress, index, genId](TTSPart part) {
        auto self = weak.lock();
        if (!self || self->m_generationId != genId)
            return;
        ++progress->partCount;
        const int charactersSpoken = static_cast<int>(Text::characterCount(part.processedText));
        AudioSegment segment;
        segment.paragraphIndex = index;
        segment.mp3Data = std::move(part.mp3Data);
        segment.timestamps = std::move(part.timestamps);
        segment.processedText = std::move(part.processedText);
        segment.textOffsetInParagraph = progress->textOffset;
        segment.generation = genId;
        self->m_player->enqueue(std::move(segment));
        progress->textOffset += charactersSpoken;
    };

    auto onDone = [weak, progress, index, text = paragraph.text, genId, completion = std::move(completion)](std::optional<ErrorValue> error) {
        auto self = weak.lock();
        if (!self) {
            completion();
            return;
        }
        if (error) {
            Log::line("[ArticleReader] tts err para[" + std::to_string(index) + "]: " + error->description);
            if (!self->m_firstPlayingFired && self->m_generationId == genId)
                self->reportSpeechError(*error, genId);
        } else if (progress->partCount > 0) {
            Log::line("[ArticleReader] ✓ para[" + std::to_string(index) + "] " + std::to_string(progress->partCount) + " parts");
        } else {
            Log::line("[ArticleReader] ⚠ para[" + std::to_string(index) + "] 0 parts — text=\""
                      + Text::characterPrefix(text, emptyAnswerPreviewLength) + "\"");
        }
        if (self->m_generationId == genId)
            self->m_player->markParagraphFinished(index, genId);
        completion();
    };

    m_tts->generate(paragraph.text, currentVoice(), std::move(onPart), std::move(onDone));
}

void ArticleReader::reportSpeechError(const ErrorValue& error, int genId)
{
    DispatchQueue::main().async([weak = weak_from_this(), error, genId] {
        auto self = weak.lock();
        // Once per reading: every paragraph of an unreachable server fails the same way, and the
        // owner's answer (stop, tell the user) is not one to repeat for each.
        if (!self || !self->belongsToCurrentReading(genId) || self->m_firstPlayingFired || self->m_errorReported)
            return;
        self->m_errorReported = true;
        if (auto handler = self->onError)
            handler(error);
    });
}

} // namespace lorvantine
