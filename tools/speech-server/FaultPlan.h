#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace lorvantine::speechserver {

enum class Fault {
    None,
    HttpStatus,        // the given status (400..599) with a plain-text body
    Html,              // 200 with an HTML page
    EmptyBody,         // 200 with no bytes at all
    JsonArray,         // 200 with a JSON array around a normal answer
    NoAudio,           // a normal answer without "audio" and "audio_base64"
    BadBase64,         // "audio" that is not base64
    Base64LineBreaks,  // "audio" base64 wrapped at 76 columns
    NoProgress,        // nothing spoken, the whole input returned as unprocessed
    Silent,            // a normal answer whose audio is empty and has no words
    HangUp,            // 200 and its headers, then the connection closes without a body
};

// How the timestamps of a successful answer are spelled.
enum class TimestampVariant {
    StartTime,    // "start_time"/"end_time"
    Start,        // "start"/"end"
    Both,         // correct "start_time"/"end_time" plus decoy "start"/"end" of -1
    StringTimes,  // "start_time"/"end_time" as strings, correct numeric "start"/"end"
    Integer,      // "start"/"end" as whole seconds (floor / ceil)
    NoTimes,      // elements with "word" only
    NoWord,       // elements with times but no "word"
    NonObject,    // one element replaced by a number
    NotArray,     // "timestamps" is an object
    Absent,       // no "timestamps" member
};

enum class AudioMember { Audio, AudioBase64 };

enum class TextMembers {
    Normal,       // "processed_text" and "unprocessed_text" as spoken
    NoProcessed,  // "processed_text" empty, "unprocessed_text" as spoken
    BothEmpty,    // both present and empty
    Absent,       // neither member present
};

// What one answer must look like, taken from the plan when a speech request arrives.
struct FaultDecision {
    Fault fault = Fault::None;
    int status = 200;
    std::string body;  // for HttpStatus
    int delayMs = 0;
    TimestampVariant timestamps = TimestampVariant::StartTime;
    AudioMember audioMember = AudioMember::Audio;
    TextMembers textMembers = TextMembers::Normal;
    // The audio is repeated until its base64 text is at least this long; 0: as spoken.
    std::size_t answerBytes = 0;

    std::string faultName() const;
};

// The faults that the next speech answers carry. The fault and the delay hold for `count`
// answers (every answer when no count was given) and then revert to none; the spelling
// variants hold until changed or reset. Safe to use from any thread.
class FaultPlan {
public:
    // Applies a control object; members absent keep their setting. Returns an error text
    // and changes nothing when the object is not valid.
    std::optional<std::string> apply(const nlohmann::json& control);
    // "NAME" or "NAMExCOUNT", e.g. "503x2", "html", "no_progress".
    std::optional<std::string> applySpec(std::string_view spec);

    FaultDecision take();
    nlohmann::json describe() const;
    void reset();

private:
    mutable std::mutex mutex_;
    FaultDecision settings_;
    std::optional<int> remaining_;  // nullopt: unlimited
};

}
