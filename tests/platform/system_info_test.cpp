// The machine's figures for the about box, from kernel texts of several architectures.
#include "platform/system_info.h"

#include <gtest/gtest.h>

TEST(SystemInfoTest, KernelTextsGiveMemoryAndProcessorName)
{
    EXPECT_EQ(ParseMemTotalKb("MemTotal:       16318500 kB\nMemFree:  1 kB\n"), 16318500u);
    EXPECT_EQ(ParseMemTotalKb("MemFree: 1 kB\n"), std::nullopt);
    EXPECT_EQ(ParseMemTotalKb("MemTotal: lots\n"), std::nullopt);

    EXPECT_EQ(ParseProcessorName("processor\t: 0\nvendor_id\t: Some\nmodel name\t: Example(R)  CPU   3000 @ 2GHz\n"
                                 "processor\t: 1\nmodel name\t: Other\n"),
              "Example(R) CPU 3000 @ 2GHz");
    EXPECT_EQ(ParseProcessorName("Processor\t: ARMv7 Processor rev 4 (v7l)\nprocessor\t: 0\n"),
              "ARMv7 Processor rev 4 (v7l)");
    EXPECT_EQ(ParseProcessorName("processor\t: 0\ncpu\t\t: POWER9 (raw), altivec supported\n"),
              "POWER9 (raw), altivec supported");
    EXPECT_EQ(ParseProcessorName("processor\t: 0\nmodel name\t:\n"), "");

    TSystemInfo info;
    info.Processors = 2;
    info.ProcessorName = "Example";
    EXPECT_EQ(MemoryText(info), "not available");
    EXPECT_EQ(ProcessorText(info), "2x Example or compatible");
    info.MemoryKb = 2048;
    EXPECT_EQ(MemoryText(info), "2048 KB");
}

TEST(SystemInfoTest, UnreadableFilesFallBackToTheKernelsOwnFigures)
{
    const TSystemInfo info = ReadSystemInfo("/nonexistent/meminfo", "/nonexistent/cpuinfo");
    ASSERT_TRUE(info.MemoryKb.has_value());
    EXPECT_GT(*info.MemoryKb, 0u);
    EXPECT_GE(info.Processors, 1);
    EXPECT_FALSE(info.ProcessorName.empty()) << "the machine type stands in";
}
