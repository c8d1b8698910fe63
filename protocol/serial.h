#pragma once
// Serial: a pager's serial number, in the one shape every part of the tool
// passes it in. It is the ten characters the pager takes at 0x0110, letters
// in upper case: a letter, a digit or '*' each, the characters the form's key
// filter lets be typed. Text becomes a Serial only through Parse, so a Serial
// is always one the pager and the ledger can take.

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sn {

class Serial {
  public:
    static constexpr std::size_t kLength = 10;

    // The serial number `text` holds, in either letter case; nothing when it
    // is not ten letters, digits or '*'.
    static std::optional<Serial> Parse(std::string_view text);
    // Why `text` is not a serial number, to follow its name ("SERIAL must be
    // ..."); "" when it is one.
    static std::string Problem(std::string_view text);
    // True for the characters a serial number may hold (either case).
    static bool IsCharacter(char c);

    // The ledger's key: 6 bits a character, never 0. KeyOf reads it straight
    // from text (a journal's field) without making a Serial.
    static std::optional<std::uint64_t> KeyOf(std::string_view text);
    static std::optional<Serial> FromKey(std::uint64_t key);
    std::uint64_t Key() const { return *KeyOf(text_); }

    const std::string& Text() const { return text_; }
    // The bytes the pager holds at 0x0110 to 0x0119.
    std::array<std::uint8_t, kLength> Bytes() const;

    friend bool operator==(const Serial&, const Serial&) = default;
    friend auto operator<=>(const Serial&, const Serial&) = default;

  private:
    explicit Serial(std::string text) : text_(std::move(text)) {}

    std::string text_;
};

}  // namespace sn
