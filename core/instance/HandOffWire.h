#pragma once

#include <QByteArray>
#include <chrono>

namespace cadrell {

// Wire format, one message per connection:
//   request: "CDLH", the name's length as a 32-bit big-endian number, the name's bytes
//   answer:  "CDLA", sent once the running instance has finished with the name; until then
//            "CDLW" now and then, so the sender can tell a busy instance from a hung one

inline constexpr qsizetype kMaxHandOffName = 64 * 1024;
inline constexpr char kHandOffRequestMagic[] = "CDLH";
inline constexpr char kHandOffAnswer[] = "CDLA";
inline constexpr char kHandOffWorking[] = "CDLW";
inline constexpr qsizetype kHandOffHeaderSize = 8;
// What the running instance spends on senders: a few dozen open connections at most, and a
// few seconds for each to deliver its whole message.
inline constexpr int kMaxHandOffConnections = 32;
inline constexpr std::chrono::milliseconds kHandOffFrameTime{5000};

// How long a later start waits for the running instance to say anything once connected:
// CADRELL_HANDOFF_TIMEOUT_MS when set to a positive number, else 30 s.
std::chrono::milliseconds HandOffTimeout();

// The framed request for one name; the name must not exceed kMaxHandOffName.
QByteArray EncodeHandOff(const QByteArray& name);

}  // namespace cadrell
