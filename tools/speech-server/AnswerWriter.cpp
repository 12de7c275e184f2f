#include "AnswerWriter.h"

#include "Base64.h"

#include <cmath>

namespace lorvantine::speechserver::AnswerWriter {

namespace {

constexpr const char* jsonType = "application/json";

double seconds(double value) { return std::round(value * 1000) / 1000; }

std::string secondsText(double value)
{
    nlohmann::json number = seconds(value);
    return number.dump();
}

nlohmann::json timestamp(const WordTiming& word, TimestampVariant variant)
{
    nlohmann::json element = nlohmann::json::object();
    if (variant != TimestampVariant::NoWord)
        element["word"] = word.word;
    switch (variant) {
    case TimestampVariant::StartTime:
    case TimestampVariant::NoWord:
    case TimestampVariant::NonObject:
    case TimestampVariant::NotArray:
    case TimestampVariant::Absent:
        element["start_time"] = seconds(word.start);
        element["end_time"] = seconds(word.end);
        break;
    case TimestampVariant::Start:
        element["start"] = seconds(word.start);
        element["end"] = seconds(word.end);
        break;
    case TimestampVariant::Both:
        element["start_time"] = seconds(word.start);
        element["end_time"] = seconds(word.end);
        element["start"] = -1;
        element["end"] = -1;
        break;
    case TimestampVariant::StringTimes:
        element["start_time"] = secondsText(word.start);
        element["end_time"] = secondsText(word.end);
        element["start"] = seconds(word.start);
        element["end"] = seconds(word.end);
        break;
    case TimestampVariant::Integer:
        element["start"] = static_cast<int64_t>(std::floor(word.start));
        element["end"] = static_cast<int64_t>(std::ceil(word.end));
        break;
    case TimestampVariant::NoTimes:
        break;
    }
    return element;
}

// Whole copies of the audio, so that a stream of whole frames stays one.
std::string lengthened(const std::string& mp3, std::size_t base64Bytes)
{
    auto encodedSize = [](std::size_t bytes) { return (bytes + 2) / 3 * 4; };
    if (mp3.empty() || encodedSize(mp3.size()) >= base64Bytes)
        return mp3;
    std::string out;
    out.reserve(base64Bytes / 4 * 3 + mp3.size());
    while (encodedSize(out.size()) < base64Bytes)
        out += mp3;
    return out;
}

std::string wrapped(const std::string& base64)
{
    std::string out;
    for (std::size_t at = 0; at < base64.size(); at += 76)
        out += base64.substr(at, 76) + "\n";
    return out.empty() ? "\n" : out;
}

}

Reply write(const Part& part, const FaultDecision& decision)
{
    switch (decision.fault) {
    case Fault::HttpStatus:
        return {decision.status, "text/plain; charset=utf-8", decision.body};
    case Fault::Html:
        return {200, "text/html; charset=utf-8",
                "<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head>"
                "<body><h1>Bad Gateway</h1></body></html>\n"};
    case Fault::EmptyBody:
        return {200, jsonType, std::string()};
    case Fault::HangUp:
        return {200, jsonType, std::string(), true};
    default:
        break;
    }

    nlohmann::json answer = nlohmann::json::object();
    std::string audio = Base64::encode(lengthened(part.audio.mp3, decision.answerBytes));
    if (decision.fault == Fault::BadBase64)
        audio = "@@not*base64@@";
    else if (decision.fault == Fault::Base64LineBreaks)
        audio = wrapped(audio);
    if (decision.fault != Fault::NoAudio)
        answer[decision.audioMember == AudioMember::AudioBase64 ? "audio_base64" : "audio"] = audio;

    if (decision.timestamps != TimestampVariant::Absent) {
        auto list = nlohmann::json::array();
        for (const auto& word : part.audio.words)
            list.push_back(timestamp(word, decision.timestamps));
        if (decision.timestamps == TimestampVariant::NonObject)
            list.push_back(42);
        if (decision.timestamps == TimestampVariant::NotArray)
            answer["timestamps"] = list.empty() ? nlohmann::json::object() : list.front();
        else
            answer["timestamps"] = std::move(list);
    }

    switch (decision.textMembers) {
    case TextMembers::Normal:
        answer["processed_text"] = part.processedText;
        answer["unprocessed_text"] = part.unprocessedText;
        break;
    case TextMembers::NoProcessed:
        answer["processed_text"] = "";
        answer["unprocessed_text"] = part.unprocessedText;
        break;
    case TextMembers::BothEmpty:
        answer["processed_text"] = "";
        answer["unprocessed_text"] = "";
        break;
    case TextMembers::Absent:
        break;
    }

    if (decision.fault == Fault::JsonArray)
        answer = nlohmann::json::array({answer});
    return {200, jsonType, answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)};
}

}
