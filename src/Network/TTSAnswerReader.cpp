#include "Network/TTSAnswerReader.h"

#include "Network/Base64.h"
#include "Support/JsonReading.h"

#include <simdjson.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

namespace lorvantine::TTSAnswerReader {

namespace {

using simdjson::dom::element;

// Answers up to this size are parsed by a parser that keeps its buffers.
constexpr size_t keptCapacity = size_t(4) << 20;

// Never fewer values than the document holds: each one but the first follows a '[', ',' or ':'.
// Counted inside strings too, so it can only overestimate. Sixteen bytes at a time, as this
// runs over the whole audio text.
size_t valueBound(std::string_view text)
{
    using Bytes = unsigned char __attribute__((vector_size(16)));
    size_t count = 1;
    size_t at = 0;
    const size_t whole = text.size() - text.size() % sizeof(Bytes);
    while (at < whole) {
        // Each lane counts at most 255 blocks before it is added up.
        Bytes lanes {};
        for (const size_t end = std::min(whole, at + 255 * sizeof(Bytes)); at < end; at += sizeof(Bytes)) {
            Bytes block;
            std::memcpy(&block, text.data() + at, sizeof(Bytes));
            lanes -= reinterpret_cast<Bytes>((block == ',') | (block == ':') | (block == '['));
        }
        for (size_t lane = 0; lane < sizeof(Bytes); ++lane)
            count += lanes[lane];
    }
    for (; at < text.size(); ++at)
        count += static_cast<size_t>((text[at] == ',') | (text[at] == ':') | (text[at] == '['));
    return count;
}

std::optional<std::string_view> stringOf(const std::optional<element>& value)
{
    std::string_view text;
    if (!value || value->get_string().get(text) != simdjson::SUCCESS)
        return std::nullopt;
    return text;
}

std::string textOf(const std::optional<element>& value)
{
    return std::string(stringOf(value).value_or(std::string_view()));
}

double secondsOf(const std::optional<element>& value, const std::optional<element>& alternative)
{
    double seconds = 0;
    for (const auto* candidate : {&value, &alternative}) {
        if (*candidate && (*candidate)->get_double().get(seconds) == simdjson::SUCCESS)
            return seconds;
    }
    return 0;
}

TTSTimestamp timestampOf(simdjson::dom::object word)
{
    std::optional<element> startTime, start, endTime, end, text;
    for (auto [key, value] : word) {
        if (key == "start_time")
            startTime = value;
        else if (key == "start")
            start = value;
        else if (key == "end_time")
            endTime = value;
        else if (key == "end")
            end = value;
        else if (key == "word")
            text = value;
    }
    return TTSTimestamp {secondsOf(startTime, start), secondsOf(endTime, end), textOf(text)};
}

// Every element must be an object, or there are none.
std::vector<TTSTimestamp> timestampsOf(const std::optional<element>& member, size_t limit)
{
    std::vector<TTSTimestamp> timestamps;
    simdjson::dom::array list;
    if (!member || member->get_array().get(list) != simdjson::SUCCESS)
        return timestamps;
    for (element word : list) {
        if (!word.is_object())
            return timestamps;
    }
    for (element word : list) {
        if (timestamps.size() == limit)
            break;
        timestamps.push_back(timestampOf(word.get_object().value_unsafe()));
    }
    return timestamps;
}

Expected<TTSPart, Fault> partOf(element root, const Limits& limits)
{
    if (root.is_array())
        return Unexpected(Fault::notAnObject);
    // As with the platform's reader, nothing but an object or an array at the top is JSON.
    simdjson::dom::object answer;
    if (root.get_object().get(answer) != simdjson::SUCCESS)
        return Unexpected(Fault::notJSON);
    std::optional<element> audio, audioBase64, processed, unprocessed, timestamps;
    for (auto [key, value] : answer) {
        if (key == "audio")
            audio = value;
        else if (key == "audio_base64")
            audioBase64 = value;
        else if (key == "processed_text")
            processed = value;
        else if (key == "unprocessed_text")
            unprocessed = value;
        else if (key == "timestamps")
            timestamps = value;
    }
    std::optional<std::string_view> audioText = stringOf(audio);
    if (!audioText)
        audioText = stringOf(audioBase64);
    if (!audioText)
        return Unexpected(Fault::noAudio);
    auto mp3 = Base64::decode(*audioText);
    if (!mp3)
        return Unexpected(Fault::badAudio);
    TTSPart part;
    part.mp3Data = std::move(*mp3);
    part.processedText = textOf(processed);
    part.unprocessedText = textOf(unprocessed);
    part.timestamps = timestampsOf(timestamps, limits.maxTimestamps);
    return part;
}

} // namespace

Expected<TTSPart, Fault> read(std::vector<std::uint8_t> body, Limits limits)
{
    const size_t length = body.size();
    // The fast parser reads a little past the end; room for that, in place when the transport
    // left it.
    body.resize(length + simdjson::SIMDJSON_PADDING);
    const std::string_view text(reinterpret_cast<const char*>(body.data()), length);

    // Its memory follows the number of values, which it cannot bound while it parses: a body
    // that might hold too many goes to the exact reader alone. Its buffers are kept on each
    // thread for answers up to a few MB, so that the next answer need not map them afresh.
    thread_local simdjson::dom::parser keptParser(keptCapacity);
    std::optional<simdjson::dom::parser> largeParser;
    simdjson::dom::parser& parser = length <= keptCapacity ? keptParser : largeParser.emplace();
    element root;
    if ((!limits.maxValues || valueBound(text) <= limits.maxValues)
        && (parser.max_depth() == limits.maxDepth || parser.allocate(length, limits.maxDepth) == simdjson::SUCCESS)
        && parser.parse(body.data(), length, false).get(root) == simdjson::SUCCESS)
        return partOf(root, limits);

    // The exact reader has the last word on what the fast one refused (it also takes a few
    // things the fast one does not, like integers beyond 64 bits); an answer it takes is read
    // again in its own spelling.
    auto exact = JsonReading::parse(text, {.maxDepth = limits.maxDepth, .maxValues = limits.maxValues});
    if (!exact || !(exact->is_object() || exact->is_array()))
        return Unexpected(Fault::notJSON);
    if (exact->is_array())
        return Unexpected(Fault::notAnObject);
    simdjson::padded_string respelled;
    simdjson::dom::parser respelledParser;
    try {
        respelled = simdjson::padded_string(exact->dump());
    } catch (const std::exception&) {
        return Unexpected(Fault::notJSON);
    }
    if (respelledParser.allocate(respelled.size(), limits.maxDepth) != simdjson::SUCCESS
        || respelledParser.parse(respelled).get(root) != simdjson::SUCCESS)
        return Unexpected(Fault::notJSON);
    return partOf(root, limits);
}

} // namespace lorvantine::TTSAnswerReader
