// One long session in one process: many searches and reloads of a small book
// through the window, checking that no entry outlives its load and that the
// heap does not creep. In the sanitized build LeakSanitizer also checks for
// leaks while the window is still alive.
#include "BookGenerator.h"
#include "ProgramTest.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "phonebook/ManItems.h"
#include "ui/frmMain.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstdio>
#include <malloc.h>
#ifdef _WIN32
#include <windows.h>
#endif
#include <memory>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define MIRODEX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MIRODEX_ASAN 1
#endif
#endif
#ifdef MIRODEX_ASAN
#include <sanitizer/lsan_interface.h>
// From the sanitizer's allocator interface (gcc ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

#ifdef MIRODEX_ASAN
// Fontconfig keeps pattern caches that no pointer LeakSanitizer can see still
// refers to; they are the library's, not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

namespace {

constexpr int kSearches = 10000;
constexpr int kReloads = 1000;

std::size_t heapInUse() {
#ifdef MIRODEX_ASAN
    return __sanitizer_get_current_allocated_bytes();
#elif defined(_WIN32)
    // Every heap's blocks in use, as mallinfo2 counts glibc's.
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(DWORD(heaps.size()), heaps.data()));
    std::size_t used = 0;
    for (const HANDLE heap : heaps) {
        if (!HeapLock(heap))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                used += entry.cbData;
        HeapUnlock(heap);
    }
    return used;
#else
    return mallinfo2().uordblks;
#endif
}

class LongRun : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
        BookGenerator::Options mine, shared;
        mine.seed = 3;
        shared.seed = 0;
        useBooks(BookGenerator::Book(15, mine), BookGenerator::Book(60, shared));
    }
};

// The entries of the collection now shown, as weak references.
std::vector<std::weak_ptr<ManItem>> sample(frmMain& window) {
    std::vector<std::weak_ptr<ManItem>> refs;
    for (const auto& entry : *window.manApp()->ManItems())
        refs.push_back(entry);
    return refs;
}

std::size_t alive(const std::vector<std::weak_ptr<ManItem>>& refs) {
    std::size_t n = 0;
    for (const auto& r : refs)
        n += r.expired() ? 0 : 1;
    return n;
}

void reload(frmMain& window) {
    window.mnuFile_Refresh_Click();
}

} // namespace

TEST_F(LongRun, SearchesAndReloadsKeepNoEntryAliveAndTheHeapFlat) {
    frmMain& window = startWindow();
    ASSERT_EQ(window.manApp()->ManItems()->Count(), 75);
    ASSERT_TRUE(dialogs.messages.empty());

    const QStringList texts = {
        QStringLiteral("z"),  QStringLiteral("zw"), QStringLiteral("张"), QStringLiteral("张1"),  QStringLiteral(" "),
        QStringLiteral("W1"), QStringLiteral("x"),  QStringLiteral("l"),  QStringLiteral("李3 "), QStringLiteral("h7")};
    const int searchesPerReload = kSearches / kReloads;
    std::size_t baseline = 0;
    int searches = 0;
    for (int r = 0; r < kReloads; ++r) {
        if (r == kReloads / 10)
            baseline = heapInUse(); // after warming up: caches filled, buffers at size
        const auto before = sample(window);
        reload(window);
        for (int s = 0; s < searchesPerReload; ++s, ++searches)
            window.searchBox()->setText(texts[(r + s) % texts.size()]);
        // The list shows the latest load only; the one before it is gone at
        // once. (Weak references of make_shared entries pin their memory, so
        // they are dropped here, not kept.)
        ASSERT_EQ(alive(before), 0u) << "reload " << r;
    }
    EXPECT_EQ(searches, kSearches);
    EXPECT_EQ(alive(sample(window)), 75u);
    EXPECT_EQ(window.searchBox()->text(), texts[(kReloads - 1 + searchesPerReload - 1) % texts.size()]);

    const std::size_t end = heapInUse();
    // A growth of a few bytes per entry and reload would pass 64 KiB by far.
    EXPECT_LT(end, baseline + 64 * 1024) << "baseline " << baseline << ", end " << end;
    std::printf("heap in use: %zu bytes after warm-up, %zu at the end\n", baseline, end);
#ifdef MIRODEX_ASAN
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}
