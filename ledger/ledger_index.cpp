#include "ledger/ledger_index.h"

#include <new>

namespace sn {

namespace {

constexpr std::uint64_t kOffsetBits = 48;
constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << kOffsetBits) - 1;

// The product's top bits, where every character of the number takes part,
// scaled to the table.
std::size_t Hash(std::uint64_t key, std::size_t capacity) {
    const std::uint64_t mixed = (key * 0x9E3779B97F4A7C15ull) >> 32;
    return static_cast<std::size_t>((mixed * capacity) >> 32);
}

}  // namespace

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
        i = i + 1 == capacity_ ? 0 : i + 1;
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
    const std::size_t capacity = entries + entries / 4 + 1024;  // at most 80 % full
    if (capacity > capacity_) {
        Grow(capacity);
    }
}

void LedgerIndex::Record(std::uint64_t key, RowEffect effect, std::uint8_t file,
                         std::uint64_t offset) {
    if ((size_ + pendingCount_ + 1) * 5 > capacity_ * 4) {
        Flush();
        Grow(capacity_ == 0 ? 1024 : capacity_ * 2);
    }
    __builtin_prefetch(slots_.get() + Hash(key, capacity_), 1);
    pending_[pendingCount_++] = Pending{key, effect, file, offset};
    if (pendingCount_ == kBatch) {
        Flush();
    }
}

void LedgerIndex::Flush() {
    for (std::size_t i = 0; i < pendingCount_; ++i) {
        Apply(pending_[i]);  // in the order the rows came
    }
    pendingCount_ = 0;
}

void LedgerIndex::Apply(const Pending& row) {
    Slot& slot = slots_.get()[Probe(row.key)];
    const std::uint8_t before = slot.key == 0 ? 0 : Unpack(slot.value).flags;
    if (slot.key == 0) {
        slot.key = row.key;
        ++size_;
    }
    slot.value = Pack({Apply(before, row.effect), row.file, row.offset});
}

std::optional<LedgerIndex::Entry> LedgerIndex::Find(std::uint64_t key) {
    Flush();
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
    pendingCount_ = 0;
    slots_.reset();
    capacity_ = 0;
    size_ = 0;
}

}  // namespace sn
