// The Windows platform layer under Wine: the console control handler's table,
// the executable's resources against the files they were built from, and the
// runtime's rounding-mode switch reaching the SSE unit.
#include "app/console_host.h"
#include "app/platform.h"
#include "imaging/float_env.h"
#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <xmmintrin.h>

namespace {

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    std::uint8_t chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);
    return bytes;
}

struct ListedResource {
    int id;
    std::string file;
};

std::vector<ListedResource> resourceList() {
    std::vector<ListedResource> list;
    std::ifstream in(SHADESTRIP_SOURCE_DIR "/resources/resources.list");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] < '0' || line[0] > '9')
            continue;
        std::istringstream fields(line);
        ListedResource entry;
        if (fields >> entry.id >> entry.file)
            list.push_back(entry);
    }
    return list;
}

float __attribute__((noinline)) divide(volatile float* a, volatile float* b) {
    return *a / *b;
}

} // namespace

TEST(ConsoleCtrlHandler, CloseEventsSetTheFlagAndOthersPassOn) {
    const DWORD closing[] = {CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT,
                             CTRL_SHUTDOWN_EVENT};
    for (DWORD type : closing) {
        consoleClosing.store(0);
        EXPECT_EQ(consoleCtrlHandler(type), TRUE) << "event " << type;
        EXPECT_EQ(consoleClosing.load(), 1) << "event " << type;
    }
    // Ctrl+C and anything unknown go on to the next handler and leave the flag.
    const DWORD others[] = {CTRL_C_EVENT, 3, 4, 7, 100};
    for (DWORD type : others) {
        consoleClosing.store(0);
        EXPECT_EQ(consoleCtrlHandler(type), FALSE) << "event " << type;
        EXPECT_EQ(consoleClosing.load(), 0) << "event " << type;
    }
    consoleClosing.store(0);
}

TEST(ExecutableResources, EveryListedIdHoldsItsFileByteForByte) {
    const auto list = resourceList();
    ASSERT_EQ(list.size(), 10u);
    for (const auto& entry : list) {
        const auto expected = readFile(std::string(SHADESTRIP_TEST_RESOURCE_DIR "/") + entry.file);
        ASSERT_FALSE(expected.empty()) << entry.file;
        const std::uint8_t* data = nullptr;
        std::uint32_t size = 0;
        ASSERT_TRUE(findPlatformResource(static_cast<std::uint16_t>(entry.id), &data, &size))
            << "resource " << entry.id;
        ASSERT_EQ(size, expected.size()) << "resource " << entry.id;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data))
            << "resource " << entry.id << " differs from " << entry.file;
        // The bytes stay where they are: a second lookup finds the same range.
        const std::uint8_t* again = nullptr;
        std::uint32_t againSize = 0;
        ASSERT_TRUE(findPlatformResource(static_cast<std::uint16_t>(entry.id), &again, &againSize));
        EXPECT_EQ(again, data);
        EXPECT_EQ(againSize, size);
    }
}

TEST(DownwardRounding, SwitchesTheSseUnitAndRestoresIt) {
    volatile float one = 1.0f;
    volatile float three = 3.0f;
    const unsigned before = _mm_getcsr() & _MM_ROUND_MASK;
    const float nearest = divide(&one, &three);
    float down = 0;
    {
        DownwardRounding rounding;
        EXPECT_EQ(_mm_getcsr() & _MM_ROUND_MASK, static_cast<unsigned>(_MM_ROUND_DOWN));
        down = divide(&one, &three);
    }
    EXPECT_EQ(_mm_getcsr() & _MM_ROUND_MASK, before);
    EXPECT_LT(down, nearest);
    EXPECT_EQ(divide(&one, &three), nearest);
}
