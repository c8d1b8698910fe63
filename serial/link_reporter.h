#pragma once
// How the serial link's own messages reach the operator: a message box in the
// window, a line on stderr in the command-line tool, a recorder in tests.

#include <string>

namespace sn {

// The link's three messages, exactly as shown.
inline constexpr const char* kUnableToConnectText = "Unable to connect to device. ";
inline constexpr const char* kWatchThreadErrorText = "Error while creating ThreadWatchComm, ";
inline constexpr const char* kBuffFullText = "buff full";

class LinkReporter {
  public:
    LinkReporter() = default;
    LinkReporter(const LinkReporter&) = delete;
    LinkReporter& operator=(const LinkReporter&) = delete;
    virtual ~LinkReporter() = default;

    // `text` is the message as it stands; `osReason` is the OS's reason when it
    // gave one ("Permission denied", "Device or resource busy"), else empty.
    // Called from the thread that met the failure (the watch thread for its
    // two messages) and returns when the operator has seen it. It must not
    // wait on a thread that may be inside CSerialLink::Close.
    virtual void ShowLinkMessage(const std::string& text, const std::string& osReason) = 0;
};

}  // namespace sn
