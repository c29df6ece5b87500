#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "archive/corrupt.h"
#include "archive/volumes.h"
#include "core/checksum.h"

namespace {

// Volumes held in memory; "missing" and "unreadable" ones by their number.
struct Volume {
    std::string bytes;
    bool missing = false;
    bool unreadable = false;
};

class MemoryVolumes : public VolumeReader {
public:
    explicit MemoryVolumes(std::vector<Volume> volumes) : volumes_(std::move(volumes)) {}

    bool Open(int number, int32_t assembled) override
    {
        opened.push_back(number);
        positions.push_back(assembled);
        size_t index = (size_t)(number - kFirstVolumeNumber);
        current_ = index < volumes_.size() && !volumes_[index].missing ? &volumes_[index] : nullptr;
        return current_ != nullptr;
    }
    int64_t Size() override { return (int64_t)current_->bytes.size(); }
    bool Read(void* into, int32_t size) override
    {
        reads++;
        if (current_->unreadable)
            return false;
        memcpy(into, current_->bytes.data(), (size_t)size);
        return true;
    }

    std::vector<int> opened;        // volume numbers, in order
    std::vector<int32_t> positions; // the joined length at each opening
    int reads = 0;

private:
    std::vector<Volume> volumes_;
    Volume* current_ = nullptr;
};

TEST(VolumeFileName, BaseNameNumberAndExtension)
{
    EXPECT_STREQ("DISK2.VLT", VolumeFileName("DISK", 2).CStr());
    EXPECT_STREQ("Tally12.VLT", VolumeFileName("Tally", 12).CStr());
}

TEST(JoinVolumes, JoinsInOrderUntilTheBlockIsWhole)
{
    MemoryVolumes volumes({{"defg"}, {"hi"}, {"never opened"}});
    String block("abc");
    EXPECT_EQ(0, JoinVolumes(block, 9, volumes));
    EXPECT_STREQ("abcdefghi", block.CStr());
    EXPECT_EQ((std::vector<int>{2, 3}), volumes.opened);
    EXPECT_EQ((std::vector<int32_t>{3, 7}), volumes.positions);
}

TEST(JoinVolumes, EachFaultOfAVolume)
{
    struct Case {
        const char* what;
        std::vector<Volume> volumes;
        int finding;
        int reads;      // volumes read before the join stopped
    };
    const Case kCases[] = {
        {"the second volume is missing", {{"de"}, {"", true}}, kVolumeMissing, 1},
        {"an empty volume", {{""}}, kVolumeEmpty, 0},
        {"a volume longer than the rest, not read", {{"defghijk"}}, kCorruptPayloadLength, 0},
        {"the last volume too long", {{"de"}, {"fghij"}}, kCorruptPayloadLength, 1},
        {"an unreadable volume", {{"defg", false, true}}, kCorruptVolumeUnreadable, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        MemoryVolumes volumes(c.volumes);
        String block("abc");
        EXPECT_EQ(c.finding, JoinVolumes(block, 7, volumes));
        EXPECT_EQ(c.reads, volumes.reads);
    }
}

TEST(AssembleFileDataBlock, InPlaceOrJoinedThenChecked)
{
    const std::string whole = "file data";
    const uint8_t* section = (const uint8_t*)whole.data();
    const uint32_t sum = Checksum(section, (int32_t)whole.size());

    // The section holds the whole block: used in place, no volume opened.
    MemoryVolumes none({});
    String joined;
    const uint8_t* block = nullptr;
    EXPECT_EQ(0, AssembleFileDataBlock(section, (int32_t)whole.size(), (int32_t)whole.size(), sum,
                                       none, joined, block));
    EXPECT_EQ(section, block);
    EXPECT_TRUE(none.opened.empty());
    EXPECT_EQ(kCorruptPayloadChecksum,
              AssembleFileDataBlock(section, (int32_t)whole.size(), (int32_t)whole.size(), sum + 1,
                                    none, joined, block));

    // The section holds its start: the rest comes from volume 2.
    MemoryVolumes rest({{"data"}});
    EXPECT_EQ(0, AssembleFileDataBlock(section, 5, (int32_t)whole.size(), sum, rest, joined, block));
    EXPECT_EQ(whole, std::string((const char*)block, whole.size()));
    EXPECT_EQ(kCorruptPayloadChecksum,
              AssembleFileDataBlock(section, 5, (int32_t)whole.size(), sum ^ 1, rest, joined, block));
    MemoryVolumes gone({});
    EXPECT_EQ(kVolumeMissing,
              AssembleFileDataBlock(section, 5, (int32_t)whole.size(), sum, gone, joined, block));
}

}  // namespace
