#pragma once
// The friendly name a bridge's driver gives a port: model name, an optional
// blank, and the port's name in parentheses, "Silicon Labs CP210x USB to UART
// Bridge (COM12)".

#include <string>

namespace sn {

struct ParsedFriendlyName {
    std::string model;  // the text before the first "(" (blank included); empty without "("
    std::string port;   // the text between the first "(" and the first ")"; may be empty
    bool hasParenthesis = false;
};

ParsedFriendlyName ParseFriendlyName(const std::string& name);

}  // namespace sn
