#include "Core/ArticleReader.h"

#include "Audio/AudioPlayer.h"
#include "Core/CharacterMatching.h"
#include "Network/SpeechText.h"
#include "Network/TTSCancellation.h"
#include "Network/TTSClient.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/HttpPort.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <atomic>

namespace lorvantine {

namespace {

constexpr size_t emptyAnswerPreviewLength = 60;

// What the answers of one paragraph have produced so far. The part and done handlers run one
// after another on the speech client's queue, so they share it without a lock.
struct ParagraphProgress {
    // The paragraph as the speech client sends it, with the way back to the paragraph's own
    // Characters, and its Characters as they are compared.
    SpeechText::Normalized sent;
    std::vector<std::string> keys;
    // Where in `sent` the next answer's text is expected.
    size_t cursor = 0;
    int partCount = 0;
    int spokenCount = 0;
};

bool isSkippable(const std::string& character)
{
    return Text::isWhitespaceCharacter(character) || CharacterMatching::isPunctuation(character);
}

// Where the answer's text starts in the paragraph, in the paragraph's own Characters: found in
// the sent text at or after the previous answer's end, past nothing but spaces and punctuation
// (which the server does not speak); else counted on from the previous answer's end.
int locateAnswer(ParagraphProgress& progress, const std::string& processedText)
{
    const std::vector<std::string> piece
        = CharacterMatching::canonicalKeys(Text::characters(Text::trimmingWhitespacesAndNewlines(processedText)));
    const size_t length = progress.keys.size();
    size_t start = std::min(progress.cursor, length);
    size_t end = std::min(progress.cursor + Text::characterCount(processedText), length);
    const auto at = CharacterMatching::find(progress.keys, piece, start);
    if (at >= 0
        && std::all_of(progress.sent.characters.begin() + static_cast<std::ptrdiff_t>(start),
                       progress.sent.characters.begin() + at, isSkippable)) {
        start = static_cast<size_t>(at);
        end = start + piece.size();
    }
    progress.cursor = end;
    return progress.sent.mapping[start];
}

} // namespace

struct ArticleReader::GenerationLoop {
    std::vector<ArticleParagraph> paragraphs;
    size_t next = 0;
    int genId = 0;
    std::function<void()> onOver;
};

void ArticleReader::generateAll(std::vector<ArticleParagraph> paragraphs, int index, int genId, std::function<void()> onOver)
{
    auto loop = std::make_shared<GenerationLoop>();
    loop->paragraphs = std::move(paragraphs);
    loop->next = index < 0 ? loop->paragraphs.size() : static_cast<size_t>(index);
    loop->genId = genId;
    loop->onOver = std::move(onOver);
    generateNext(loop);
}

void ArticleReader::generateNext(const std::shared_ptr<GenerationLoop>& loop)
{
    // One paragraph's request chain at a time, and the next one only from the end of the one
    // before: the server sees this reading's paragraphs in order and never two at once, and no
    // thread waits for an answer.
    for (;;) {
        if (!isCurrentGeneration(loop->genId) || loop->next >= loop->paragraphs.size()) {
            if (auto over = std::exchange(loop->onOver, nullptr))
                over();
            return;
        }
        // Audio far ahead of playback is memory and nothing else: the loop goes on once playback
        // has taken the queue back under its cap (or a flush or stop has emptied it).
        const bool hasRoom = m_player->hasRoomOrNotify([weak = weak_from_this(), loop] {
            DispatchQueue::global(QualityOfService::userInitiated).async([weak, loop] {
                if (auto self = weak.lock())
                    self->generateNext(loop);
            });
        });
        if (!hasRoom) {
            m_serverWatch.paused();
            return;
        }
        const ArticleParagraph& paragraph = loop->paragraphs[loop->next++];
        if (paragraph.text.empty()) {
            if (m_generationId == loop->genId)
                m_player->markParagraphFinished(paragraph.index, loop->genId);
            continue;
        }
        // A chain can end before `generate` returns (a blank text); the loop then goes on here
        // rather than one call deeper for each such paragraph.
        enum Step { inCall, endedInCall, callReturned };
        auto step = std::make_shared<std::atomic<int>>(inCall);
        generateOne(paragraph, loop->genId, [weak = weak_from_this(), loop, step] {
            if (step->exchange(endedInCall) == inCall)
                return;
            if (auto self = weak.lock())
                self->generateNext(loop);
        });
        if (step->exchange(callReturned) == endedInCall)
            continue;
        return;
    }
}

void ArticleReader::generateOne(const ArticleParagraph& paragraph, int genId, std::function<void()> completion)
{
    auto progress = std::make_shared<ParagraphProgress>();
    progress->sent = SpeechText::normalize(paragraph.text);
    progress->keys = CharacterMatching::canonicalKeys(progress->sent.characters);
    std::weak_ptr<ArticleReader> weak = weak_from_this();
    const int index = paragraph.index;

    auto onPart = [weak, progress, index, genId](TTSPart part) {
        auto self = weak.lock();
        if (!self || self->m_generationId != genId)
            return;
        self->m_serverWatch.answered();
        ++progress->partCount;
        if (!part.mp3Data.empty())
            ++progress->spokenCount;
        AudioSegment segment;
        segment.paragraphIndex = index;
        segment.textOffsetInParagraph = locateAnswer(*progress, part.processedText);
        segment.mp3Data = std::move(part.mp3Data);
        segment.timestamps = std::move(part.timestamps);
        segment.processedText = std::move(part.processedText);
        segment.generation = genId;
        self->m_player->enqueue(std::move(segment));
    };

    auto onDone = [weak, progress, index, text = paragraph.text, genId, completion = std::move(completion)](std::optional<ErrorValue> error) {
        auto self = weak.lock();
        if (!self) {
            completion();
            return;
        }
        const std::string partCount = std::to_string(progress->partCount);
        self->noteParagraphEnded(error, genId);
        if (error) {
            Log::line("[ArticleReader] tts err para[" + std::to_string(index) + "]: " + error->description);
            if (!self->m_firstPlayingFired && self->m_generationId == genId)
                self->reportSpeechError(*error, genId);
        } else if (progress->spokenCount > 0) {
            Log::line("[ArticleReader] ✓ para[" + std::to_string(index) + "] " + partCount + " parts");
        } else {
            Log::line("[ArticleReader] ⚠ para[" + std::to_string(index) + "] " + partCount + " parts"
                      + (progress->partCount > 0 ? ", nothing spoken" : "") + " — text=\""
                      + Text::characterPrefix(text, emptyAnswerPreviewLength) + "\"");
        }
        if (self->m_generationId == genId)
            self->m_player->markParagraphFinished(index, genId);
        completion();
    };

    auto chain = std::make_shared<TTSCancellation>();
    adoptSpeechChain(chain, genId);
    auto onAttemptFailed = [weak, genId](const ErrorValue& error, TimePoint sentAt) {
        if (auto self = weak.lock())
            self->noteAttemptFailed(error, sentAt, genId);
    };
    m_tts->generate(paragraph.text, currentVoice(), std::move(onPart), std::move(onDone), std::move(chain), std::move(onAttemptFailed));
}

void ArticleReader::adoptSpeechChain(const std::shared_ptr<TTSCancellation>& chain, int genId)
{
    {
        std::lock_guard guard(m_chainLock);
        if (m_generationId == genId) {
            m_speechChain = chain;
            return;
        }
    }
    chain->cancel();
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

void ArticleReader::noteParagraphEnded(const std::optional<ErrorValue>& error, int genId)
{
    if (!isCurrentGeneration(genId) || !m_serverWatch.paragraphEnded(error))
        return;
    DispatchQueue::main().async([weak = weak_from_this(), error = *error, genId] {
        auto self = weak.lock();
        if (self && self->belongsToCurrentReading(genId))
            self->giveUpOnSpeechServer(error, "连续 " + std::to_string(SpeechServerWatch::paragraphsInARow) + " 段");
    });
}

void ArticleReader::noteAttemptFailed(const ErrorValue& error, TimePoint sentAt, int genId)
{
    if (!isCurrentGeneration(genId))
        return;
    auto run = m_serverWatch.attemptFailed(error, sentAt);
    if (!run)
        return;
    // Checked when the run would have lasted its span: a server that takes every attempt and
    // never answers holds each for minutes, so the end of an attempt comes too late to count on.
    const Duration left = std::max(Duration::zero(), run->since + SpeechServerWatch::failingSpan - Clock::current().now());
    DispatchQueue::main().asyncAfter(left, [weak = weak_from_this(), run = run->number, genId] {
        auto self = weak.lock();
        if (!self || !self->belongsToCurrentReading(genId) || !self->m_serverWatch.isStillFailing(run))
            return;
        const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(SpeechServerWatch::failingSpan).count();
        self->giveUpOnSpeechServer(self->m_serverWatch.lastFailure(), std::to_string(minutes) + " 分钟只有失败");
    });
}

void ArticleReader::giveUpOnSpeechServer(const ErrorValue& error, const std::string& why)
{
    std::string address = m_tts->primaryURL();
    if (const auto& fallback = m_tts->fallbackURL())
        address += " / " + *fallback;
    Log::line("[ArticleReader] ❌ 连不上语音服务器 " + address + "（" + why + ": " + error.description + "），朗读结束");
    stop();
    if (auto handler = onSpeechUnavailable)
        handler(ErrorValue { error.domain, error.code, "the speech server at " + address + " cannot be reached: " + error.description });
}

} // namespace lorvantine
