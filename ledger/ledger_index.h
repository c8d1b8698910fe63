#pragma once
// LedgerIndex: what a journal says of every serial number it names, small
// enough for a million pagers: 16 bytes a number, the number packed into a
// key and, for the messages, where its last row is in which file.
//
// Threads: see docs/threads.md (the ledger): one thread at a time.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ledger/journal.h"
#include "ledger/ledger.h"

namespace sn {

class LedgerIndex {
  public:
    enum Flag : std::uint8_t {
        kUsed = 1,    // a block write went out for it at some time
        kOpen = 2,    // its last reservation has no settlement yet
        kBroken = 4,  // its last use did not complete
    };
    struct Entry {
        std::uint8_t flags = 0;
        std::uint8_t file = 0;     // which journal holds its last row
        std::uint64_t offset = 0;  // and where
    };

    // The flags after one more row. A reservation over an open one means the
    // earlier was never settled: in doubt, so used.
    static std::uint8_t Apply(std::uint8_t flags, RowEffect effect);
    static NumberState State(std::uint8_t flags);

    // Room for `entries` numbers without growing.
    void Expect(std::size_t entries);
    // Rows are taken in small batches: each row's slot is fetched from
    // memory while the ones before it are still arriving, so that a million
    // numbers do not wait for a million cache misses one after another.
    void Record(std::uint64_t key, RowEffect effect, std::uint8_t file, std::uint64_t offset);
    std::optional<Entry> Find(std::uint64_t key);
    void Clear();
    std::size_t Size() {
        Flush();
        return size_;
    }
    template <typename F>
    void ForEach(F&& f) {
        Flush();
        for (std::size_t i = 0; i < capacity_; ++i) {
            if (slots_.get()[i].key != 0) {
                f(slots_.get()[i].key, Unpack(slots_.get()[i].value));
            }
        }
    }

  private:
    struct Slot {
        std::uint64_t key;    // 0: empty
        std::uint64_t value;  // flags, file, offset
    };
    struct Free {
        void operator()(Slot* p) const { std::free(p); }
    };
    struct Pending {
        std::uint64_t key;
        RowEffect effect;
        std::uint8_t file;
        std::uint64_t offset;
    };
    static constexpr std::size_t kBatch = 16;
    static Entry Unpack(std::uint64_t value);
    static std::uint64_t Pack(const Entry& e);
    std::size_t Probe(std::uint64_t key) const;
    void Grow(std::size_t capacity);
    void Flush();
    void Apply(const Pending& row);

    // calloc: a large table's pages cost memory only once a number lands there.
    std::unique_ptr<Slot, Free> slots_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    Pending pending_[kBatch];
    std::size_t pendingCount_ = 0;
};

}  // namespace sn
