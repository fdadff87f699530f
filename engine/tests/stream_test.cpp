// Streams, compression and the BLOB block chain.
#include <bzlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "io/compressed_blob_stream.h"
#include "io/compression.h"
#include "io/file_stream.h"
#include "io/memory_stream.h"
#include "io/temporary_stream.h"
#include "platform/crc32.h"
#include "platform/memory.h"

namespace sqlmem {
namespace {

using sqlmem::testing::codeOf;
using sqlmem::testing::expectEngineError;
namespace fs = std::filesystem;

std::string nativeText(const std::string& text, int code) {
    return text + " - Native error: " + std::to_string(code);
}

EngineBytes bytes(std::initializer_list<std::uint8_t> list) {
    return EngineBytes(list.begin(), list.end());
}

EngineBytes bytes(const std::string& s) {
    return EngineBytes(s.begin(), s.end());
}

std::string text(const EngineBytes& b) {
    return std::string(b.begin(), b.end());
}

std::string contents(TSQLMemStream& s) {
    std::string out(static_cast<std::size_t>(s.size()), '\0');
    s.seekTo(0, 1);
    s.readBuffer(out.data(), s.size(), 2);
    return out;
}

// A folder of the test's own, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = fs::temp_directory_path() /
                 ("orvalen-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~ScratchDir() { fs::remove_all(m_path); }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

void writeFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// ---------------------------------------------------------------------------
// Checked transfers

TEST(StreamTest, ShortTransfersRaiseTheirTextWithTheCallersCode) {
    ScratchDir dir;
    const std::string readOnly = dir.file("read-only");
    writeFile(readOnly, "abc");
    struct Case {
        const char* name;
        std::function<void()> action;
        int code;
        std::string text;
    };
    const Case cases[] = {
        {"a read that meets the end names where it began",
         [] {
             TSQLMemMemoryStream s(bytes("12345"));
             s.seekTo(3, 1);
             char buf[4];
             s.readBuffer(buf, 4, 10160);
         },
         10160,
         "Cannot read from stream. Position = 3, Stream size = 5, Block size = 4, Bytes Read = 2"},
        {"a fixed-width value cut short",
         [] {
             TSQLMemMemoryStream s(bytes("1234567"));
             s.readInt64(10416);
         },
         10416,
         "Cannot read from stream. Position = 0, Stream size = 7, Block size = 8, Bytes Read = 7"},
        {"a short string longer than what follows its length byte",
         [] {
             TSQLMemMemoryStream s(bytes({4, 'a', 'b'}));
             s.readShortString(10163);
         },
         10163,
         "Cannot read from stream. Position = 1, Stream size = 3, Block size = 4, Bytes Read = 2"},
        {"a write the file refuses",
         [&] {
             TSQLMemFileStream s(readOnly, kFileOpenRead);
             s.seekTo(1, 1);
             s.writeBuffer("xy", 2, 10156);
         },
         10156,
         "Cannot write to stream. Position = 1, Stream size = 3, Block size = 2, Bytes Write = 0"},
        {"a seek before the start",
         [] {
             TSQLMemMemoryStream s(bytes("12345"));
             s.seekTo(2, 1);
             s.seekTo(-1, 10155);
         },
         10155, "Cannot set stream position to -1. Position = 2, Size = 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectEngineError(c.action, c.code, nativeText(c.text, c.code));
    }
}

TEST(StreamTest, NumbersAreLittleEndianAsInThisImage) {
    const EngineBytes image = bytes({
        0xAB,                                            // byte
        0x34, 0x12,                                      // uint16 0x1234
        0xFE, 0xFF, 0xFF, 0xFF,                          // int32 -2
        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // int64 0x0102030405060708
        0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x0B, 0x40,  // float64 3.4
        0x03, 'A',  'C',  'S',                           // short string "ACS"
    });
    TSQLMemMemoryStream out;
    out.writeByte(0xAB, 1);
    out.writeUInt16(0x1234, 1);
    out.writeInt32(-2, 1);
    out.writeInt64(0x0102030405060708, 1);
    out.writeFloat64(3.4, 1);
    out.writeShortString("ACS", 1);
    EXPECT_EQ(out.bytes(), image);

    TSQLMemMemoryStream in{EngineBytes(image)};
    EXPECT_EQ(in.readByte(1), 0xAB);
    EXPECT_EQ(in.readUInt16(1), 0x1234);
    EXPECT_EQ(in.readInt32(1), -2);
    EXPECT_EQ(in.readInt64(1), 0x0102030405060708);
    EXPECT_EQ(in.readFloat64(1), 3.4);
    EXPECT_EQ(in.readShortString(1), "ACS");
    EXPECT_EQ(in.position(), in.size());

    // A text that one length byte cannot count is refused before anything is written.
    EXPECT_THROW(out.writeShortString(std::string(256, 'x'), 1), std::range_error);
    EXPECT_EQ(out.size(), static_cast<std::int64_t>(image.size()));
}

TEST(StreamTest, CopyMovesTheAskedBytesAcrossBufferBoundaries) {
    std::string data(200000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 256);
    TSQLMemMemoryStream source{bytes(data)};
    TSQLMemMemoryStream target;
    source.seekTo(5, 1);
    target.copyFrom(source, 150000, 1, 2);
    EXPECT_EQ(text(target.bytes()), data.substr(5, 150000));
    TSQLMemMemoryStream all;
    all.copyAllFrom(source, 1, 2);
    EXPECT_EQ(text(all.bytes()), data);
    EXPECT_EQ(codeOf([&] { target.copyFrom(source, 1, 77, 78); }), 77) << "source at its end";
}

// ---------------------------------------------------------------------------
// Memory, file and temporary streams

TEST(MemoryStreamTest, GrowsToExactlyTheNewEndAndReadsStopThere) {
    TSQLMemMemoryStream s;
    s.writeBuffer("abc", 3, 1);
    EXPECT_EQ(s.seek(10, TSQLMemSeekOrigin::Begin), 10);
    EXPECT_EQ(s.size(), 3) << "a seek alone does not grow";
    s.writeBuffer("xy", 2, 1);
    EXPECT_EQ(s.size(), 12);
    EXPECT_EQ(text(s.bytes()), std::string("abc") + std::string(7, '\0') + "xy");

    char buf[8];
    s.seekTo(11, 1);
    EXPECT_EQ(s.read(buf, 8), 1);
    EXPECT_EQ(s.position(), 12);
    s.seekTo(20, 1);
    EXPECT_EQ(s.read(buf, 8), 0);
    EXPECT_EQ(s.position(), 20);

    s.setSize(4);
    EXPECT_EQ(s.position(), 4) << "a position past the new end moves to it";
    s.seekTo(1, 1);
    s.setSize(2);
    EXPECT_EQ(s.position(), 1);
    EXPECT_EQ(text(s.bytes()), "ab");
}

TEST(MemoryStreamTest, BytesComeFromTheEngineManagerAndAFailedGrowthChangesNothing) {
    const std::int64_t before = memInUse();
    {
        TSQLMemMemoryStream s;
        const std::string block(100000, 'q');
        s.writeBuffer(block.data(), 100000, 1);
        EXPECT_GE(memInUse() - before, 100000);

        sqlmem::testing::ScopedMemoryBudget budget(1000);
        const std::string more(500000, 'r');
        EXPECT_EQ(codeOf([&] { s.writeBuffer(more.data(), 500000, 1); }), 30004);
        EXPECT_EQ(s.size(), 100000);
        EXPECT_EQ(s.position(), 100000);
    }
    EXPECT_EQ(memInUse(), before);
}

TEST(FileStreamTest, CreateTruncatesAndOpenNeedsAnExistingFile) {
    ScratchDir dir;
    const std::string path = dir.file("t.dat");
    writeFile(path, "old contents");
    {
        TSQLMemFileStream s(path, kFileModeCreate);
        EXPECT_EQ(s.size(), 0);
        s.writeBuffer("new", 3, 1);
    }
    EXPECT_EQ(readFile(path), "new");
    const std::string fresh = dir.file("fresh.dat");
    TSQLMemFileStream(fresh, kFileModeCreate);
    EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write)
        << "the operator's data is not for other users";
    {
        TSQLMemFileStream s(path, kFileOpenRead | kFileShareDenyWrite);
        EXPECT_EQ(contents(s), "new");
    }

    const std::string missing = dir.file("missing.dat");
    expectEngineError([&] { TSQLMemFileStream s(missing, 32); }, 10105,
                      nativeText("Cannot open file. FileName = " + missing + ", Mode = 32", 10105));
    EXPECT_FALSE(fs::exists(missing));
    const std::string noFolder = dir.file("no/such/folder.dat");
    expectEngineError([&] { TSQLMemFileStream s(noFolder, kFileModeCreate); }, 10104,
                      nativeText("Cannot create file. FileName = " + noFolder, 10104));

    struct BadMode {
        const char* name;
        std::string file;
        std::uint16_t mode;
    };
    const BadMode bad[] = {
        {"access bits 3", path, 0x0003},
        {"sharing beyond deny-none", path, 0x0050},
        {"bits above sharing", path, 0x0100},
        {"a folder", dir.file(""), kFileOpenRead},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(codeOf([&] { TSQLMemFileStream s(b.file, b.mode); }), 10105);
    }
}

TEST(FileStreamTest, SharingModesHoldBackConflictingStreams) {
    ScratchDir dir;
    const std::string path = dir.file("shared.dat");
    writeFile(path, "journal");
    {
        TSQLMemFileStream reader(path, kFileOpenRead | kFileShareDenyWrite);
        TSQLMemFileStream secondReader(path, kFileOpenRead | kFileShareDenyWrite);
        EXPECT_EQ(
            codeOf([&] { TSQLMemFileStream s(path, kFileOpenReadWrite | kFileShareExclusive); }),
            10105);
        EXPECT_EQ(codeOf([&] { TSQLMemFileStream s(path, kFileModeCreate); }), 10104);
        EXPECT_EQ(readFile(path), "journal") << "a refused creation leaves the bytes alone";
    }
    TSQLMemFileStream writer(path, kFileOpenReadWrite | kFileShareExclusive);
    EXPECT_EQ(codeOf([&] { TSQLMemFileStream s(path, kFileOpenRead | kFileShareDenyWrite); }),
              10105);
    TSQLMemFileStream unlocked(path, kFileOpenRead | kFileShareDenyNone);
    EXPECT_EQ(contents(unlocked), "journal");
}

// The flags the system holds for the one descriptor open on `path`.
long openFlagsOf(const std::string& path) {
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(entry.path(), ec) != fs::path(path)) continue;
        std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
        std::string key;
        while (info >> key)
            if (key == "flags:") {
                std::string octal;
                info >> octal;
                return std::stol(octal, nullptr, 8);
            }
    }
    return -1;
}

TEST(FileStreamTest, FilesAreNotInheritedByChildProcesses) {
    ScratchDir dir;
    const std::string created = dir.file("created.dat");
    {
        TSQLMemFileStream s(created, kFileModeCreate);
        const long flags = openFlagsOf(created);
        ASSERT_NE(flags, -1);
        EXPECT_NE(flags & O_CLOEXEC, 0);
    }
    TSQLMemFileStream s(created, kFileOpenRead);
    EXPECT_NE(openFlagsOf(created) & O_CLOEXEC, 0);
    auto temporary = TSQLMemFileStream::createTemporary();
    EXPECT_NE(openFlagsOf(temporary->fileName()) & O_CLOEXEC, 0);
}

TEST(FileStreamTest, SizesAndPositionsAreSixtyFourBit) {
    ScratchDir dir;
    const std::string path = dir.file("big.dat");
    TSQLMemFileStream s(path, kFileModeCreate);
    const std::int64_t far = (std::int64_t{5} << 30) + 3;  // past any 32-bit offset
    s.seekTo(far, 1);
    s.writeByte(0x5A, 1);
    EXPECT_EQ(s.size(), far + 1);
    s.seekTo(far, 1);
    EXPECT_EQ(s.readByte(1), 0x5A);
    s.seekTo(far - 1, 1);
    EXPECT_EQ(s.readByte(1), 0) << "the gap reads as zeros";

    s.setSize(2);
    EXPECT_EQ(s.size(), 2);
    EXPECT_EQ(s.position(), 2);
    s.setSize(6);
    EXPECT_EQ(contents(s), std::string(6, '\0'));
    expectEngineError(
        [&] { s.setSize(-1); }, kErrFileSetSize,
        nativeText("Cannot set file size to -1. FileName = " + path + ", Invalid size",
                   kErrFileSetSize));
}

TEST(FileStreamTest, FlushingReachesTheDiskOrSaysWhyNot) {
    ScratchDir dir;
    const std::string path = dir.file("flushed.dat");
    {
        TSQLMemFileStream s(path, kFileModeCreate);
        s.writeBuffer("kept", 4, 1);
        s.flushToDisk();
    }
    EXPECT_EQ(readFile(path), "kept");
    TSQLMemFileStream::flushDirectoryToDisk(dir.file(""));
    EXPECT_EQ(codeOf([&] { TSQLMemFileStream::flushDirectoryToDisk(dir.file("gone")); }),
              kErrFileFlush);
}

TEST(TemporaryStreamTest, SpillsToAFileOnlyPastTheThresholdAndRemovesIt) {
    std::string fileName;
    {
        TSQLMemTemporaryStream s(16);
        s.writeBuffer("0123456789", 10, 1);
        s.writeBuffer("abcdef", 6, 1);
        EXPECT_FALSE(s.onFile()) << "exactly the threshold stays in memory";
        s.seekTo(4, 1);
        s.writeBuffer("X", 1, 1);
        EXPECT_FALSE(s.onFile()) << "overwriting does not grow";
        s.seekTo(16, 1);
        s.writeBuffer("g", 1, 1);
        ASSERT_TRUE(s.onFile());
        fileName = s.fileName();
        EXPECT_EQ(fs::path(fileName).parent_path(), fs::temp_directory_path());
        EXPECT_EQ(fs::path(fileName).filename().string().rfind("SQLMem", 0), 0u) << fileName;
        EXPECT_EQ(s.position(), 17) << "the position carries over";
        EXPECT_EQ(readFile(fileName), "0123X56789abcdefg");
        s.writeBuffer("hi", 2, 1);
        EXPECT_EQ(contents(s), "0123X56789abcdefghi");
    }
    EXPECT_FALSE(fs::exists(fileName));

    TSQLMemTemporaryStream sized(16);
    sized.writeBuffer("ab", 2, 1);
    sized.setSize(40);
    ASSERT_TRUE(sized.onFile()) << "growth by setting the size spills too";
    EXPECT_EQ(contents(sized), "ab" + std::string(38, '\0'));
}

TEST(TemporaryStreamTest, DefaultThresholdIsOneHundredMegabytes) {
    TSQLMemTemporaryStream s;
    s.seekTo(kTemporaryStreamSpillAbove - 1, 1);
    s.writeByte(1, 1);
    EXPECT_FALSE(s.onFile());
    s.writeByte(2, 1);
    EXPECT_TRUE(s.onFile());
}

// ---------------------------------------------------------------------------
// Compression

std::string sampleText(std::size_t size) {
    std::string s;
    std::mt19937 rng(7);
    const char* words[] = {"вопрос ", "ответ ", "часть ", "12345 ", "\r\n", "программа "};
    while (s.size() < size)
        s += words[rng() % 6];
    s.resize(size);
    return s;
}

std::string noise(std::size_t size) {
    std::string s(size, '\0');
    std::mt19937 rng(11);
    for (auto& c : s)
        c = static_cast<char>(rng());
    return s;
}

TEST(CompressTest, AlgorithmsAreNamedAsTheEnginePrintsThem) {
    EXPECT_EQ(compressionAlgorithmName(0), "NONE");
    EXPECT_EQ(compressionAlgorithmName(1), "ZLIB");
    EXPECT_EQ(compressionAlgorithmName(2), "BZIP");
    EXPECT_EQ(compressionAlgorithmName(3), "PPM");
    EXPECT_EQ(compressionAlgorithmName(4), "");
}

// Every mode of both algorithms on data of several shapes: what comes out is
// the standard stream of the mode's parameters, readable by the libraries'
// own whole-buffer decoders, and our decoder gives the input back.
TEST(CompressTest, EveryModeRoundTripsAsAStandardStream) {
    const std::pair<const char*, std::string> inputs[] = {
        {"one byte", "x"},
        {"text past a bzip2 block and the output step", sampleText(300000)},
        {"incompressible", noise(70000)},
    };
    for (const auto& [what, input] : inputs) {
        for (int algorithm = 1; algorithm <= 2; ++algorithm) {
            for (int mode = algorithm == 1 ? 0 : 1; mode <= 9; ++mode) {
                SCOPED_TRACE(std::string(what) + ", algorithm " + std::to_string(algorithm) +
                             ", mode " + std::to_string(mode));
                EngineBytes packed;
                ASSERT_TRUE(compressBuffer(algorithm, mode, bytes(input), packed));
                ASSERT_FALSE(packed.empty());
                std::vector<std::uint8_t> plain(input.size());
                if (algorithm == 1) {
                    // 32 KiB window and deflate; the level class of the mode.
                    EXPECT_EQ(packed[0], 0x78);
                    const int levelClass = mode < 2 ? 0 : mode < 6 ? 1 : mode == 6 ? 2 : 3;
                    EXPECT_EQ(packed[1] >> 6, levelClass);
                    uLongf n = plain.size();
                    EXPECT_EQ(uncompress(plain.data(), &n, packed.data(), packed.size()), Z_OK);
                    EXPECT_EQ(n, input.size());
                } else {
                    EXPECT_EQ(std::string(packed.begin(), packed.begin() + 4),
                              "BZh" + std::to_string(mode));
                    unsigned n = plain.size();
                    EXPECT_EQ(BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(plain.data()), &n,
                                                         reinterpret_cast<char*>(packed.data()),
                                                         packed.size(), 0, 0),
                              BZ_OK);
                    EXPECT_EQ(n, input.size());
                }
                EXPECT_EQ(std::string(plain.begin(), plain.end()), input);
                EngineBytes back;
                ASSERT_TRUE(decompressBuffer(algorithm, packed, back, input.size()));
                EXPECT_EQ(text(back), input);
            }
        }
    }
}

TEST(CompressTest, RefusalsAnswerFailureWithNoOutput) {
    const EngineBytes input = bytes(sampleText(5000));
    EngineBytes zlibData, bzipData;
    ASSERT_TRUE(compressBuffer(1, 6, input, zlibData));
    ASSERT_TRUE(compressBuffer(2, 9, input, bzipData));
    auto changed = [](EngineBytes b, std::size_t at) {
        b[at] ^= 0x10;
        return b;
    };
    auto cut = [](EngineBytes b, std::size_t keep) {
        b.resize(keep);
        return b;
    };
    auto plus = [](EngineBytes b, std::uint8_t extra) {
        b.push_back(extra);
        return b;
    };
    // A valid zlib stream of no data: decoding it gives nothing, which is no success.
    EngineBytes ofNothing(64);
    {
        z_stream z{};
        deflateInit(&z, 6);
        z.avail_out = ofNothing.size();
        z.next_out = ofNothing.data();
        deflate(&z, Z_FINISH);
        ofNothing.resize(z.total_out);
        deflateEnd(&z);
    }
    // Raw deflate and gzip hold the same data in other wrappings.
    auto wrapped = [&](int windowBits) {
        EngineBytes out(input.size() + 100);
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
        z.avail_in = input.size();
        z.next_in = const_cast<std::uint8_t*>(input.data());
        z.avail_out = out.size();
        z.next_out = out.data();
        deflate(&z, Z_FINISH);
        out.resize(z.total_out);
        deflateEnd(&z);
        return out;
    };

    struct Compress {
        const char* name;
        int algorithm, mode;
        EngineBytes input;
    };
    const Compress compressions[] = {
        {"algorithm 0", 0, 1, input},          {"algorithm 3", 3, 1, input},
        {"an unknown algorithm", 4, 1, input}, {"empty input", 1, 6, {}},
        {"empty input, bzip", 2, 9, {}},       {"deflate level 10", 1, 10, input},
        {"bzip block size 0", 2, 0, input},    {"bzip block size 10", 2, 10, input},
    };
    for (const auto& c : compressions) {
        SCOPED_TRACE(c.name);
        EngineBytes out = bytes("stale");
        EXPECT_FALSE(compressBuffer(c.algorithm, c.mode, c.input, out));
        EXPECT_TRUE(out.empty());
    }

    struct Decompress {
        const char* name;
        int algorithm;
        EngineBytes input;
        std::size_t cap;
    };
    const std::size_t enough = input.size();
    const Decompress decompressions[] = {
        {"algorithm 0", 0, input, enough},
        {"algorithm 3", 3, zlibData, enough},
        {"empty input", 1, {}, enough},
        {"zlib: a flipped bit in the data", 1, changed(zlibData, zlibData.size() / 2), enough},
        {"zlib: a flipped bit in the checksum", 1, changed(zlibData, zlibData.size() - 1), enough},
        {"zlib: cut short", 1, cut(zlibData, zlibData.size() - 5), enough},
        {"zlib: bytes after the end", 1, plus(zlibData, 0), enough},
        {"zlib: data of nothing", 1, ofNothing, enough},
        {"zlib: raw deflate", 1, wrapped(-15), enough},
        {"zlib: gzip", 1, wrapped(31), enough},
        {"zlib: one byte over the cap", 1, zlibData, enough - 1},
        {"bzip: a flipped bit in the data", 2, changed(bzipData, bzipData.size() / 2), enough},
        {"bzip: cut short", 2, cut(bzipData, bzipData.size() - 3), enough},
        {"bzip: bytes after the end", 2, plus(bzipData, 'B'), enough},
        {"bzip: zlib data", 2, zlibData, enough},
        {"bzip: one byte over the cap", 2, bzipData, enough - 1},
    };
    for (const auto& d : decompressions) {
        SCOPED_TRACE(d.name);
        EngineBytes out = bytes("stale");
        EXPECT_FALSE(decompressBuffer(d.algorithm, d.input, out, d.cap));
        EXPECT_TRUE(out.empty());
    }
    EngineBytes out;
    EXPECT_TRUE(decompressBuffer(1, zlibData, out, enough)) << "a cap of exactly the size fits";
    EXPECT_TRUE(decompressBuffer(2, bzipData, out, enough));
}

// Ten megabytes of zeros pack into a few kilobytes; with a cap of one
// megabyte the decoder gives up having held no more than twice the cap (the
// last growth copies the output).
TEST(CompressTest, ACapBoundsWhatHostileInputCanMakeTheDecoderAllocate) {
    const EngineBytes zeros(10 << 20, 0);
    for (int algorithm = 1; algorithm <= 2; ++algorithm) {
        SCOPED_TRACE(algorithm);
        EngineBytes bomb;
        ASSERT_TRUE(compressBuffer(algorithm, 9, zeros, bomb));
        ASSERT_LT(bomb.size(), 64u * 1024);
        auto& manager = TSQLMemMemoryManager::instance();
        const std::int64_t before = manager.currentUse();
        manager.resetPeakUse();
        EngineBytes out;
        EXPECT_FALSE(decompressBuffer(algorithm, bomb, out, 1 << 20));
        EXPECT_LE(manager.peakUse() - before, (2 << 20) + 1);
        EXPECT_TRUE(out.empty());
    }
}

// ---------------------------------------------------------------------------
// The BLOB block chain

// "Hello" as one block of deflate level 0 (a stored deflate block):
const EngineBytes kHelloChain = {
    0x10, 0x00, 0x00, 0x00,                          // C = 16
    0x05, 0x00, 0x00, 0x00,                          // U = 5
    0x9F, 0x7E, 0xF3, 0x31,                          // engine CRC-32 of "Hello"
    0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // C + 20 = 36
    0x78, 0x01,                                      // zlib header, 32 KiB window
    0x01, 0x05, 0x00, 0xFA, 0xFF,                    // last stored block, 5 bytes
    'H',  'e',  'l',  'l',  'o',                     //
    0x05, 0x8C, 0x01, 0xF5,                          // Adler-32
};

std::string readAll(TSQLMemStream& s) {
    std::string out(static_cast<std::size_t>(s.size()), '\0');
    s.seekTo(0, 1);
    s.readBuffer(out.data(), s.size(), 2);
    return out;
}

TEST(CompressedBlobStreamTest, WritesAndReadsTheHandBuiltChain) {
    TSQLMemMemoryStream stored;
    {
        TSQLMemCompressedBLOBStream blob(stored, kCompressionZlib, 0, 0);
        blob.writeBuffer("Hello", 5, 1);
        EXPECT_EQ(blob.blockCount(), 1);
        EXPECT_EQ(blob.size(), 5);
    }
    EXPECT_EQ(stored.bytes(), kHelloChain);

    TSQLMemMemoryStream fixture{EngineBytes(kHelloChain)};
    TSQLMemCompressedBLOBStream blob(fixture, kCompressionZlib, 6, 0, 1, 5);
    EXPECT_EQ(readAll(blob), "Hello");
    char c;
    blob.seekTo(3, 1);
    blob.readBuffer(&c, 1, 1);
    EXPECT_EQ(c, 'l');
    EXPECT_EQ(blob.read(&c, 1), 1);
    EXPECT_EQ(blob.read(&c, 1), 0) << "reading stops at the end";
}

TEST(CompressedBlobStreamTest, DamagedChainsAreRefusedSayingWhere) {
    auto damaged = [](std::size_t at, std::uint8_t value) {
        EngineBytes b = kHelloChain;
        b[at] = value;
        return b;
    };
    EngineBytes cut = kHelloChain;
    cut.resize(30);
    EngineBytes trailing = kHelloChain;
    trailing.resize(trailing.size() + 7);
    struct Case {
        const char* name;
        EngineBytes stored;
        std::int32_t blocks;
        std::int64_t size;
        int code;
        std::string text;
    };
    const Case cases[] = {
        {"a CRC that does not match", damaged(8, 0x9E), 1, 5, kErrBlobBlockCrc,
         "BLOB block at position 0 is corrupt. CRC = 838041247, Expected = 838041246"},
        {"data that does not decompress", damaged(34, 0x00), 1, 5, kErrBlobDecompress,
         "Cannot decompress BLOB block at position 0. CompAlg = 1, InSize = 16, OutSize = 0, "
         "Expected = 5"},
        {"more data than the header says", damaged(4, 0x04), 1, 4, kErrBlobDecompress,
         "Cannot decompress BLOB block at position 0. CompAlg = 1, InSize = 16, OutSize = 0, "
         "Expected = 4"},
        {"a next-header distance that is not C + 20", damaged(12, 0x25), 1, 5, kErrBlobBlockHeader,
         "Invalid BLOB block header at position 0. Compressed size = 16, Uncompressed size = 5, "
         "Next header = 37, Stored size = 36"},
        {"a block longer than the stored bytes", cut, 1, 5, kErrBlobBlockHeader,
         "Invalid BLOB block header at position 0. Compressed size = 16, Uncompressed size = 5, "
         "Next header = 36, Stored size = 30"},
        {"a block of no data", damaged(4, 0x00), 1, 0, kErrBlobBlockHeader,
         "Invalid BLOB block header at position 0. Compressed size = 16, Uncompressed size = 0, "
         "Next header = 36, Stored size = 36"},
        {"a negative compressed length", damaged(3, 0x80), 1, 5, kErrBlobBlockHeader,
         "Invalid BLOB block header at position 0. Compressed size = -2147483632, Uncompressed "
         "size = 5, Next header = 36, Stored size = 36"},
        {"bytes after the last block too few for a header", trailing, 1, 5, kErrBlobBlockRead,
         "Cannot read from stream. Position = 36, Stream size = 43, Block size = 20, Bytes Read "
         "= 7"},
        {"a value header with another block count", kHelloChain, 2, 5, kErrBlobHeaderMismatch,
         "BLOB header does not match its stored data. Header: Blocks = 2, Size = 5; Stored: "
         "Blocks = 1, Size = 5"},
        {"a value header with another size", kHelloChain, 1, 6, kErrBlobHeaderMismatch,
         "BLOB header does not match its stored data. Header: Blocks = 1, Size = 6; Stored: "
         "Blocks = 1, Size = 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectEngineError(
            [&] {
                TSQLMemMemoryStream stored{EngineBytes(c.stored)};
                TSQLMemCompressedBLOBStream blob(stored, kCompressionZlib, 1, 0, c.blocks, c.size);
                readAll(blob);
            },
            c.code, nativeText(c.text, c.code));
    }
}

// Headers of the chain: the uncompressed lengths, each CRC, each distance.
std::vector<std::int32_t> blockLengths(const TSQLMemCompressedBLOBStream& blob) {
    std::vector<std::int32_t> lengths;
    for (std::int32_t i = 0; i < blob.blockCount(); ++i)
        lengths.push_back(blob.blocks()[i].header.uncompressedSize);
    return lengths;
}

void expectChainConsistent(const TSQLMemMemoryStream& stored, const std::string& data) {
    std::size_t at = 0, dataAt = 0;
    while (at < stored.bytes().size()) {
        const auto h = TSQLMemCompressedStreamBlockHeader::load(stored.data() + at);
        EXPECT_EQ(h.offsetToNextHeader, h.compressedSize + 20);
        EXPECT_EQ(h.crc, engineCrc32(data.data() + dataAt, h.uncompressedSize));
        at += h.offsetToNextHeader;
        dataAt += h.uncompressedSize;
    }
    EXPECT_EQ(at, stored.bytes().size());
    EXPECT_EQ(dataAt, data.size());
}

TEST(CompressedBlobStreamTest, AppendsRecompressOnlyTheLastBlock) {
    for (int algorithm : {1, 2}) {
        SCOPED_TRACE(algorithm);
        TSQLMemMemoryStream stored;
        TSQLMemCompressedBLOBStream blob(stored, algorithm, 1, 4);
        blob.writeBuffer("ABCDEFGHIJ", 10, 1);
        EXPECT_EQ(blockLengths(blob), (std::vector<std::int32_t>{4, 4, 2}));
        const auto firstTwo = std::vector<std::uint8_t>(
            stored.bytes().begin(), stored.bytes().begin() + blob.blocks()[2].storedPosition);

        blob.writeBuffer("KL", 2, 1);
        EXPECT_EQ(blockLengths(blob), (std::vector<std::int32_t>{4, 4, 4}));
        blob.writeBuffer("M", 1, 1);
        EXPECT_EQ(blockLengths(blob), (std::vector<std::int32_t>{4, 4, 4, 1}));
        EXPECT_TRUE(std::equal(firstTwo.begin(), firstTwo.end(), stored.bytes().begin()))
            << "blocks before the last are left as they were";

        // Rewriting inside the last block, and past the end with a gap.
        blob.seekTo(12, 1);
        blob.writeBuffer("m", 1, 1);
        blob.seekTo(15, 1);
        blob.writeBuffer("P", 1, 1);
        const std::string data = std::string("ABCDEFGHIJKLm") + std::string(2, '\0') + "P";
        EXPECT_EQ(readAll(blob), data);
        expectChainConsistent(stored, data);

        // Before the last block is the middle of compressed data.
        blob.seekTo(11, 1);
        expectEngineError(
            [&] { blob.writeBuffer("z", 1, 1); }, kErrBlobMiddleWrite,
            nativeText("Cannot write into compressed BLOB data at position 11. Only data from "
                       "position 12 on can be rewritten",
                       kErrBlobMiddleWrite));
        EXPECT_EQ(readAll(blob), data);

        // What the value's header keeps opens the same value again.
        TSQLMemCompressedBLOBStream again(stored, algorithm, 1, 4, blob.blockCount(), blob.size());
        EXPECT_EQ(readAll(again), data);
    }
}

TEST(CompressedBlobStreamTest, SettingTheSizeCutsOrExtendsTheChain) {
    TSQLMemMemoryStream stored;
    TSQLMemCompressedBLOBStream blob(stored, kCompressionZlib, 9, 4);
    blob.writeBuffer("ABCDEFGHIJ", 10, 1);
    blob.setSize(6);
    EXPECT_EQ(blockLengths(blob), (std::vector<std::int32_t>{4, 2}));
    EXPECT_EQ(blob.position(), 6);
    EXPECT_EQ(readAll(blob), "ABCDEF");
    blob.setSize(8);
    EXPECT_EQ(blockLengths(blob), (std::vector<std::int32_t>{4, 4}));
    EXPECT_EQ(readAll(blob), std::string("ABCDEF") + std::string(2, '\0'));
    blob.setSize(4);
    EXPECT_EQ(blockLengths(blob), (std::vector<std::int32_t>{4}));
    expectChainConsistent(stored, "ABCD");
    blob.setSize(0);
    EXPECT_EQ(blob.blockCount(), 0);
    EXPECT_EQ(stored.size(), 0);
}

TEST(CompressedBlobStreamTest, AFailedCompressionLeavesTheValueAsItWas) {
    TSQLMemMemoryStream stored;
    // bzip2 has no block size 0, so mode 0 cannot compress.
    TSQLMemCompressedBLOBStream blob(stored, kCompressionBzip, 0, 4);
    expectEngineError([&] { blob.writeBuffer("ABCDEF", 6, 1); }, kErrBlobCompress,
                      nativeText("Compress buffer failed. CompAlg = 2, CompMode = 0, InSize = 4, "
                                 "OutSize = 0",
                                 kErrBlobCompress));
    EXPECT_EQ(blob.size(), 0);
    EXPECT_EQ(stored.size(), 0);
}

TEST(CompressedBlobStreamTest, BlockSizeZeroTakesTheDefaultOfTheMode) {
    const std::pair<int, std::int32_t> cases[] = {
        {0, 102400},  {1, 524288},  {3, 524288},  {4, 1048576},
        {6, 1048576}, {7, 1572864}, {9, 1572864},
    };
    for (const auto& [mode, size] : cases) {
        SCOPED_TRACE(mode);
        TSQLMemMemoryStream stored;
        EXPECT_EQ(TSQLMemCompressedBLOBStream(stored, kCompressionZlib, mode, 0).blockSize(), size);
    }
    TSQLMemMemoryStream stored;
    TSQLMemCompressedBLOBStream blob(stored, kCompressionZlib, 0, 0);
    const std::string data = sampleText(250000);
    blob.writeBuffer(data.data(), data.size(), 1);
    EXPECT_EQ(blockLengths(blob), (std::vector<std::int32_t>{102400, 102400, 45200}));
    EXPECT_EQ(readAll(blob), data);
}

TEST(CompressedBlobStreamTest, AlgorithmZeroKeepsTheDataItself) {
    TSQLMemMemoryStream stored;
    TSQLMemCompressedBLOBStream blob(stored, kCompressionNone, 0, 0);
    blob.writeBuffer("plain", 5, 1);
    blob.seekTo(1, 1);
    blob.writeBuffer("L", 1, 1);
    EXPECT_EQ(text(stored.bytes()), "pLain");
    EXPECT_EQ(blob.blockCount(), 0);
    EXPECT_EQ(codeOf([&] { TSQLMemCompressedBLOBStream b(stored, kCompressionNone, 0, 0, 0, 4); }),
              kErrBlobHeaderMismatch);
}

}  // namespace
}  // namespace sqlmem
