// Every allocation of the list and the reader made to fail in turn, as zlib's infcover does:
// each failure ends in false or the reader's box, what was there stays intact, nothing leaks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/PackageReader.h"
#include "package/PointerList.h"
#include "testkit/FailingAllocator.h"
#include "testkit/MemoryPackageHost.h"
#include "testkit/PackageFixture.h"

using testkit::Bytes;
using testkit::FailingAllocation;

namespace {

int slots[100];

// Holds what it is given, as the installer's file sink would write it.
class MemorySink : public EntrySink {
public:
    bool Begin(uint32_t) override { return true; }
    bool Write(const void* bytes, uint32_t length) override {
        const auto* p = static_cast<const unsigned char*>(bytes);
        written.insert(written.end(), p, p + length);
        return true;
    }
    bool Commit() override { return true; }
    void Discard() override { written.clear(); }
    Bytes written;
};

// Enough entries that the reader's list grows twice while it reads the table.
testkit::PackageFixture ManyEntries(std::vector<std::pair<std::string, Bytes>>& entries) {
    testkit::PackageFixture fixture;
    for (int i = 0; i < 80; ++i) {
        entries.emplace_back("entry" + std::to_string(i), Bytes(static_cast<size_t>(i * 37 + 1), static_cast<unsigned char>(i)));
        fixture.Raw(entries.back().first, entries.back().second);
    }
    return fixture;
}

}  // namespace

TEST(AllocationFailure, AListThatCannotGrowRefusesTheAddAndKeepsWhatItHeld) {
    struct Case {
        const char* what;
        int held;  // pointers added before the failing one
    } cases[] = {{"the first slot", 0}, {"the 33rd slot", 32}, {"the 73rd slot", 72}};
    for (const Case& c : cases) {
        const int live = testkit::LiveAllocations();
        {
            PointerList list;
            for (int i = 0; i < c.held; ++i) ASSERT_EQ(list.Add(&slots[i]), i) << c.what;
            const int capacity = list.Capacity();
            int added = 0;
            {
                FailingAllocation failing(1);
                added = list.Add(&slots[c.held]);
                EXPECT_TRUE(failing.Delivered()) << c.what;
            }
            EXPECT_EQ(added, -1) << c.what;
            EXPECT_EQ(list.Count(), c.held) << c.what;
            EXPECT_EQ(list.Capacity(), capacity) << c.what;
            for (int i = 0; i < c.held; ++i) EXPECT_EQ(list.Get(i), &slots[i]) << c.what;
            {
                FailingAllocation failing(1);
                list.Set(&slots[0], c.held + 40);
            }
            EXPECT_EQ(list.Count(), c.held) << c.what << ": a failed lengthening changes nothing";
            EXPECT_EQ(list.Add(&slots[c.held]), c.held) << c.what << ": the next add succeeds";
        }
        EXPECT_EQ(testkit::LiveAllocations(), live) << c.what;
    }
}

TEST(AllocationFailure, EachReaderAllocationFailingEndsInFalseOrTheBoxAndLeaksNothing) {
    std::vector<std::pair<std::string, Bytes>> entries;
    testkit::MemoryPackageHost host(ManyEntries(entries).Image(Bytes(64, 0)));
    // What a sound run allocates: the table, then every entry loaded and streamed.
    auto readAll = [&](PackageReader& reader, std::vector<std::string>& outcome) {
        for (int32_t i = 0; i < reader.EntryCount(); ++i) {
            const bool loaded = reader.LoadEntryAt(i);
            if (loaded && Bytes(reader.Data(), reader.Data() + reader.Size()) != entries[i].second) {
                outcome.push_back("load " + entries[i].first + " differs");
            }
            MemorySink sink;
            const StreamResult streamed = reader.StreamEntry(entries[i].first.c_str(), nullptr, sink);
            if (streamed == StreamResult::kWritten && sink.written != entries[i].second) {
                outcome.push_back("stream " + entries[i].first + " differs");
            }
            if (!loaded) outcome.push_back("load " + entries[i].first + " failed");
            if (streamed != StreamResult::kWritten) outcome.push_back("stream " + entries[i].first + " failed");
        }
    };
    int total = 0;
    {
        FailingAllocation counting(0);
        PackageReader reader(host);
        ASSERT_EQ(reader.EntryCount(), static_cast<int32_t>(entries.size()));
        std::vector<std::string> outcome;
        readAll(reader, outcome);
        EXPECT_TRUE(outcome.empty()) << ::testing::PrintToString(outcome);
        total = counting.Counted();
    }
    ASSERT_GT(total, 3) << "the table, its index and the entries allocate";
    ASSERT_TRUE(host.messages.empty());

    for (int n = 1; n <= total; ++n) {
        const int live = testkit::LiveAllocations();
        host.messages.clear();
        std::vector<std::string> outcome;
        int32_t count = 0;
        {
            FailingAllocation failing(n);
            PackageReader reader(host);
            count = reader.EntryCount();
            readAll(reader, outcome);
            EXPECT_TRUE(failing.Delivered()) << n;
        }
        EXPECT_EQ(testkit::LiveAllocations(), live) << "allocation " << n << " failing leaked";
        // A table that could not be held leaves no entry at all; otherwise every entry is whole.
        EXPECT_TRUE(count == 0 || count == static_cast<int32_t>(entries.size())) << n << ": " << count;
        for (const auto& line : outcome) EXPECT_EQ(line.find("differs"), std::string::npos) << n << ": " << line;
        // A failed read of an entry says so, once, in the reader's box.
        EXPECT_EQ(host.messages.size(), outcome.size()) << n << ": " << ::testing::PrintToString(outcome);
        for (const auto& message : host.messages) {
            EXPECT_EQ(message.rfind("Not enough memory to read this entry / ENTRY", 0), 0u) << n << ": " << message;
        }
    }
}
