#include "FaultPlan.h"

#include "Base64.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <utility>

namespace lorvantine::speechserver {

namespace {

constexpr int maxDelayMs = 600000;
constexpr std::int64_t maxAnswerBytes = std::int64_t(64) << 20;

constexpr std::array<std::pair<Fault, std::string_view>, 10> faultNames{{
    {Fault::None, "none"},
    {Fault::Html, "html"},
    {Fault::EmptyBody, "empty"},
    {Fault::JsonArray, "array"},
    {Fault::NoAudio, "no_audio"},
    {Fault::BadBase64, "bad_base64"},
    {Fault::Base64LineBreaks, "base64_newlines"},
    {Fault::NoProgress, "no_progress"},
    {Fault::Silent, "silent"},
    {Fault::HangUp, "hangup"},
}};

constexpr std::array<std::pair<TimestampVariant, std::string_view>, 10> timestampNames{{
    {TimestampVariant::StartTime, "start_time"},
    {TimestampVariant::Start, "start"},
    {TimestampVariant::Both, "both"},
    {TimestampVariant::StringTimes, "string_times"},
    {TimestampVariant::Integer, "integer"},
    {TimestampVariant::NoTimes, "no_times"},
    {TimestampVariant::NoWord, "no_word"},
    {TimestampVariant::NonObject, "non_object"},
    {TimestampVariant::NotArray, "not_array"},
    {TimestampVariant::Absent, "absent"},
}};

constexpr std::array<std::pair<AudioMember, std::string_view>, 2> audioNames{{
    {AudioMember::Audio, "audio"},
    {AudioMember::AudioBase64, "audio_base64"},
}};

constexpr std::array<std::pair<TextMembers, std::string_view>, 4> textNames{{
    {TextMembers::Normal, "normal"},
    {TextMembers::NoProcessed, "no_processed"},
    {TextMembers::BothEmpty, "both_empty"},
    {TextMembers::Absent, "absent"},
}};

template<typename Enum, std::size_t N>
std::optional<Enum> lookup(const std::array<std::pair<Enum, std::string_view>, N>& names, std::string_view name)
{
    for (const auto& [value, text] : names) {
        if (text == name)
            return value;
    }
    return std::nullopt;
}

template<typename Enum, std::size_t N>
std::string nameOf(const std::array<std::pair<Enum, std::string_view>, N>& names, Enum value)
{
    for (const auto& [candidate, text] : names) {
        if (candidate == value)
            return std::string(text);
    }
    return "?";
}

template<typename Enum, std::size_t N>
std::string choices(const std::array<std::pair<Enum, std::string_view>, N>& names)
{
    std::string list;
    for (const auto& entry : names)
        list += (list.empty() ? "" : ", ") + std::string(entry.second);
    return list;
}

std::optional<int> parseNumber(std::string_view text)
{
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::string defaultStatusBody(int status) { return "simulated failure: HTTP " + std::to_string(status); }

struct ParsedFault {
    Fault fault;
    int status;
    std::optional<int> count;
};

std::optional<ParsedFault> parseFaultSpec(std::string_view spec, std::string& error)
{
    std::optional<int> count;
    auto times = spec.rfind('x');
    if (times != std::string_view::npos && times > 0) {
        count = parseNumber(spec.substr(times + 1));
        if (!count || *count < 1) {
            error = "bad count in fault \"" + std::string(spec) + "\"";
            return std::nullopt;
        }
        spec = spec.substr(0, times);
    }
    if (auto status = parseNumber(spec)) {
        if (*status < 400 || *status > 599) {
            error = "a status fault must be 400..599, got " + std::string(spec);
            return std::nullopt;
        }
        return ParsedFault{Fault::HttpStatus, *status, count};
    }
    if (auto fault = lookup(faultNames, spec))
        return ParsedFault{*fault, 200, count};
    error = "unknown fault \"" + std::string(spec) + "\"; use a status 400..599 or one of " + choices(faultNames);
    return std::nullopt;
}

template<typename Enum, std::size_t N>
bool readEnum(const nlohmann::json& control, const char* key, const std::array<std::pair<Enum, std::string_view>, N>& names,
              Enum& target, std::string& error)
{
    if (!control.contains(key))
        return true;
    const auto& value = control.at(key);
    if (value.is_string()) {
        if (auto parsed = lookup(names, value.get<std::string>())) {
            target = *parsed;
            return true;
        }
    }
    error = std::string("\"") + key + "\" must be one of " + choices(names);
    return false;
}

}

std::string FaultDecision::faultName() const
{
    if (fault == Fault::HttpStatus)
        return std::to_string(status);
    return nameOf(faultNames, fault);
}

std::optional<std::string> FaultPlan::apply(const nlohmann::json& control)
{
    if (!control.is_object())
        return "the control body must be a JSON object";
    static constexpr std::array<std::string_view, 9> known{"fault", "count", "delayMs", "body", "bodyBase64",
        "timestampVariant", "audioMember", "textMembers", "answerBytes"};
    for (const auto& [key, value] : control.items()) {
        if (std::find(known.begin(), known.end(), key) == known.end())
            return "unknown control member \"" + key + "\"";
    }

    std::lock_guard lock(mutex_);
    FaultDecision next = settings_;
    std::optional<int> remaining = remaining_;
    std::string error;

    if (control.contains("fault")) {
        if (!control["fault"].is_string())
            return std::string("\"fault\" must be a string");
        auto parsed = parseFaultSpec(control["fault"].get<std::string>(), error);
        if (!parsed)
            return error;
        next.fault = parsed->fault;
        next.status = parsed->status;
        next.body = parsed->fault == Fault::HttpStatus ? defaultStatusBody(parsed->status) : std::string();
        remaining = parsed->count;
    }
    if (control.contains("count")) {
        const auto& count = control["count"];
        if (count.is_null())
            remaining.reset();
        else if (count.is_number_integer() && count.get<int64_t>() >= 1 && count.get<int64_t>() <= 1000000)
            remaining = count.get<int>();
        else
            return std::string("\"count\" must be a whole number from 1 or null");
    }
    if (control.contains("delayMs")) {
        const auto& delay = control["delayMs"];
        if (!delay.is_number_integer() || delay.get<int64_t>() < 0 || delay.get<int64_t>() > maxDelayMs)
            return "\"delayMs\" must be a whole number from 0 to " + std::to_string(maxDelayMs);
        next.delayMs = delay.get<int>();
    }
    if (control.contains("body")) {
        if (!control["body"].is_string())
            return std::string("\"body\" must be a string");
        next.body = control["body"].get<std::string>();
    }
    if (control.contains("bodyBase64")) {
        auto bytes = control["bodyBase64"].is_string() ? Base64::decode(control["bodyBase64"].get<std::string>())
                                                       : std::nullopt;
        if (!bytes)
            return std::string("\"bodyBase64\" must be a base64 string");
        next.body = *bytes;
    }
    if (control.contains("answerBytes")) {
        const auto& bytes = control["answerBytes"];
        if (!bytes.is_number_integer() || bytes.get<std::int64_t>() < 0 || bytes.get<std::int64_t>() > maxAnswerBytes)
            return "\"answerBytes\" must be a whole number from 0 to " + std::to_string(maxAnswerBytes);
        next.answerBytes = bytes.get<std::size_t>();
    }
    if (!readEnum(control, "timestampVariant", timestampNames, next.timestamps, error)
        || !readEnum(control, "audioMember", audioNames, next.audioMember, error)
        || !readEnum(control, "textMembers", textNames, next.textMembers, error))
        return error;

    settings_ = std::move(next);
    remaining_ = remaining;
    return std::nullopt;
}

std::optional<std::string> FaultPlan::applySpec(std::string_view spec)
{
    return apply(nlohmann::json{{"fault", std::string(spec)}});
}

FaultDecision FaultPlan::take()
{
    std::lock_guard lock(mutex_);
    FaultDecision decision = settings_;
    if (remaining_ && --*remaining_ <= 0) {
        settings_.fault = Fault::None;
        settings_.status = 200;
        settings_.body.clear();
        settings_.delayMs = 0;
        remaining_.reset();
    }
    return decision;
}

nlohmann::json FaultPlan::describe() const
{
    std::lock_guard lock(mutex_);
    return {
        {"fault", settings_.faultName()},
        {"count", remaining_ ? nlohmann::json(*remaining_) : nlohmann::json(nullptr)},
        {"delayMs", settings_.delayMs},
        {"timestampVariant", nameOf(timestampNames, settings_.timestamps)},
        {"audioMember", nameOf(audioNames, settings_.audioMember)},
        {"textMembers", nameOf(textNames, settings_.textMembers)},
        {"answerBytes", settings_.answerBytes},
    };
}

void FaultPlan::reset()
{
    std::lock_guard lock(mutex_);
    settings_ = FaultDecision();
    remaining_.reset();
}

}
