#include "production/ledger_index.h"

#include <bit>
#include <new>

namespace sn {

namespace {

constexpr std::uint64_t kOffsetBits = 48;
constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << kOffsetBits) - 1;

// 1-10 digits, 11-36 letters, 37 '*'; 0 never occurs.
int CharCode(char c) {
    if (c >= '0' && c <= '9') {
        return 1 + (c - '0');
    }
    if (c >= 'A' && c <= 'Z') {
        return 11 + (c - 'A');
    }
    if (c >= 'a' && c <= 'z') {
        return 11 + (c - 'a');
    }
    return c == '*' ? 37 : -1;
}

char CodeChar(unsigned code) {
    if (code >= 1 && code <= 10) {
        return static_cast<char>('0' + (code - 1));
    }
    if (code >= 11 && code <= 36) {
        return static_cast<char>('A' + (code - 11));
    }
    return '*';
}

// The product's top bits: every character of the number takes part.
std::size_t Hash(std::uint64_t key, std::size_t capacity) {
    const int bits = std::countr_zero(capacity);
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

}  // namespace

std::optional<std::uint64_t> PackSerial(std::string_view serial) {
    if (serial.size() != 10) {
        return std::nullopt;
    }
    std::uint64_t key = 0;
    for (char c : serial) {
        const int code = CharCode(c);
        if (code < 0) {
            return std::nullopt;
        }
        key = (key << 6) | static_cast<std::uint64_t>(code);
    }
    return key;
}

std::string UnpackSerial(std::uint64_t key) {
    std::string serial(10, ' ');
    for (std::size_t i = 10; i > 0; --i) {
        serial[i - 1] = CodeChar(static_cast<unsigned>(key & 63));
        key >>= 6;
    }
    return serial;
}

std::uint8_t LedgerIndex::Apply(std::uint8_t flags, RowEffect effect) {
    switch (effect) {
        case RowEffect::Reserve:
            // The open reservation's write may have broken off anywhere.
            return static_cast<std::uint8_t>((flags & kOpen ? flags | kUsed | kBroken : flags) |
                                             kOpen);
        case RowEffect::UseFinished:
            return static_cast<std::uint8_t>((flags | kUsed) & ~(kOpen | kBroken));
        case RowEffect::UseBroken:
            return static_cast<std::uint8_t>((flags | kUsed | kBroken) & ~kOpen);
        case RowEffect::Release:
            return static_cast<std::uint8_t>(flags & ~kOpen);
    }
    return flags;
}

NumberState LedgerIndex::State(std::uint8_t flags) {
    if (flags & kOpen) {
        return NumberState::InDoubt;
    }
    if (flags & kUsed) {
        return flags & kBroken ? NumberState::BrokenOff : NumberState::Used;
    }
    return NumberState::Free;
}

LedgerIndex::Entry LedgerIndex::Unpack(std::uint64_t value) {
    return {static_cast<std::uint8_t>(value >> 56), static_cast<std::uint8_t>(value >> kOffsetBits),
            value & kOffsetMask};
}

std::uint64_t LedgerIndex::Pack(const Entry& e) {
    return (std::uint64_t{e.flags} << 56) | (std::uint64_t{e.file} << kOffsetBits) |
           (e.offset & kOffsetMask);
}

std::size_t LedgerIndex::Probe(std::uint64_t key) const {
    std::size_t i = Hash(key, capacity_);
    while (slots_.get()[i].key != 0 && slots_.get()[i].key != key) {
        i = (i + 1) & (capacity_ - 1);
    }
    return i;
}

void LedgerIndex::Grow(std::size_t capacity) {
    auto* fresh = static_cast<Slot*>(std::calloc(capacity, sizeof(Slot)));
    if (fresh == nullptr) {
        throw std::bad_alloc();
    }
    std::unique_ptr<Slot, Free> old(fresh);
    old.swap(slots_);
    const std::size_t oldCapacity = capacity_;
    capacity_ = capacity;
    for (std::size_t i = 0; i < oldCapacity; ++i) {
        if (old.get()[i].key != 0) {
            slots_.get()[Probe(old.get()[i].key)] = old.get()[i];
        }
    }
}

void LedgerIndex::Expect(std::size_t entries) {
    std::size_t capacity = 1024;
    while (capacity * 3 / 4 < entries) {
        capacity *= 2;
    }
    if (capacity > capacity_) {
        Grow(capacity);
    }
}

void LedgerIndex::Record(std::uint64_t key, RowEffect effect, std::uint8_t file,
                         std::uint64_t offset) {
    if ((size_ + 1) * 4 > capacity_ * 3) {
        Grow(capacity_ == 0 ? 1024 : capacity_ * 2);
    }
    Slot& slot = slots_.get()[Probe(key)];
    const std::uint8_t before = slot.key == 0 ? 0 : Unpack(slot.value).flags;
    if (slot.key == 0) {
        slot.key = key;
        ++size_;
    }
    slot.value = Pack({Apply(before, effect), file, offset});
}

std::optional<LedgerIndex::Entry> LedgerIndex::Find(std::uint64_t key) const {
    if (capacity_ == 0) {
        return std::nullopt;
    }
    const Slot& slot = slots_.get()[Probe(key)];
    if (slot.key == 0) {
        return std::nullopt;
    }
    return Unpack(slot.value);
}

void LedgerIndex::Clear() {
    slots_.reset();
    capacity_ = 0;
    size_ = 0;
}

}  // namespace sn
