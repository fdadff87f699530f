#include "io/table_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <stdexcept>
#include <vector>

#include "io/compression.h"
#include "io/compression_stream.h"
#include "io/definitions_image.h"
#include "io/image_header.h"
#include "platform/bytes.h"
#include "platform/crc32.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "storage/record_layout.h"

namespace sqlmem {
namespace {

// Places of the transfers, named by the code a short one raises.
constexpr int kWriteHeader = 10156, kWriteName = 10157, kWriteObjectId = 10416;
constexpr int kWriteBody = 10197;
constexpr int kSeekBack = 10155;
constexpr int kReadHeader = 10160, kReadBody = 10163;
constexpr int kReadRecord = 10201, kBlobPosition = 10202, kBlobHeader = 10203, kBlobBytes = 10204;
constexpr int kReadRecordNo = 10454;

// Errors of ours: the table-level decompression, and what a foreign image
// may carry that this engine must not take in.
constexpr int kErrDecompress = 30418;
constexpr int kErrNameTaken = 30421;
constexpr int kErrBadDefinition = 30422;

constexpr std::size_t kBlobImageHeader = 20;

[[noreturn]] void badDefinition(const std::string& what) {
    throw ESQLMemException(kErrBadDefinition, "Cannot load table - %s", {what});
}

struct BlobField {
    std::int32_t fieldNo;
    std::int32_t offset;
};

std::vector<BlobField> blobFieldsOf(const TSQLMemFieldDefs& fields) {
    std::vector<BlobField> out;
    for (int i = 0; i < fields.count(); ++i)
        if (isBlobBaseType(fields[i].BaseType)) out.push_back({i, fields[i].MemoryOffset});
    return out;
}

// Where a body goes as it is written: straight to the stream, or through
// the compressor. Pieces gather in one reused buffer, so a large table's
// body is never held whole.
class BodySink {
public:
    BodySink(TSQLMemStream& stream, TSQLMemStreamCompressor* compressor)
        : m_stream(stream), m_compressor(compressor) {
        m_buffer.reserve(kChunk);
    }
    void put(const std::uint8_t* p, std::size_t n) {
        if (m_buffer.size() + n > kChunk) flush();
        if (n >= kChunk) {
            pass(p, n);
        } else {
            m_buffer.insert(m_buffer.end(), p, p + n);
        }
        m_written += n;
    }
    void put(const std::vector<std::uint8_t>& bytes) { put(bytes.data(), bytes.size()); }
    void flush() {
        pass(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }
    // Bytes of the body so far.
    std::uint64_t written() const { return m_written; }

private:
    static constexpr std::size_t kChunk = 1 << 20;
    void pass(const std::uint8_t* p, std::size_t n) {
        if (n == 0) return;
        if (m_compressor)
            m_compressor->add({p, n});
        else
            m_stream.writeBuffer(p, static_cast<std::int64_t>(n), kWriteBody);
    }
    TSQLMemStream& m_stream;
    TSQLMemStreamCompressor* m_compressor;
    EngineBytes m_buffer;
    std::uint64_t m_written = 0;
};

// The records in slot order, each with its BLOB images; `base` is where the
// body starts in the stream the positions count in.
void writeRecords(BodySink& out, std::int64_t base, const TSQLMemMemoryRecordManager& store,
                  const TSQLMemFieldDefs& fields, const TSQLMemBlobBlocks& blobs) {
    const std::int32_t size = store.recordSize();
    const std::vector<BlobField> blobFields = blobFieldsOf(fields);
    EngineBytes copy(static_cast<std::size_t>(size));
    std::vector<const EngineBlock*> values;
    for (std::int32_t slot = store.lowestSlot(); slot <= store.highestSlot(); ++slot) {
        if (store.isDeleted(slot)) continue;
        const std::uint8_t* record = store.slotData(slot);
        if (blobFields.empty()) {
            out.put(record, static_cast<std::size_t>(size));
            continue;
        }
        // The copy holds, in each non-null BLOB field, where its image will
        // start: right after the record and the images before it.
        std::memcpy(copy.data(), record, static_cast<std::size_t>(size));
        values.clear();
        std::uint64_t at = out.written() + static_cast<std::uint64_t>(size);
        for (const BlobField& b : blobFields) {
            if (record_layout::isNull(record, b.fieldNo)) continue;
            const EngineBlock* block = blobs.find(TSQLMemBlobBlocks::handleOf(record + b.offset));
            if (!block) throw ESQLMemException(10118, "Nil pointer occured");
            storeLE<std::int64_t>(copy.data() + b.offset, base + static_cast<std::int64_t>(at));
            at += kBlobImageHeader + (block->size() - TSQLMemBlobBlocks::kHeaderSize);
            values.push_back(block);
        }
        out.put(copy.data(), copy.size());
        for (const EngineBlock* block : values) {
            const std::size_t stored = block->size() - TSQLMemBlobBlocks::kHeaderSize;
            std::uint8_t length[8];
            storeLE<std::int64_t>(length, static_cast<std::int64_t>(stored));
            out.put(block->data(), TSQLMemBlobBlocks::kHeaderSize);
            out.put(length, sizeof length);
            out.put(block->data() + TSQLMemBlobBlocks::kHeaderSize, stored);
        }
    }
}

// Where a body is read from as it is needed: the stream itself, or the
// decompressor over its compressed bytes. The part on hand is a window that
// grows only as far as one section or one value needs.
class BodySource {
public:
    // An uncompressed body: the rest of the stream.
    explicit BodySource(TSQLMemStream& stream)
        : m_stream(&stream),
          m_left(static_cast<std::uint64_t>(
              std::max<std::int64_t>(0, stream.size() - stream.position()))) {}
    // A compressed body of (as the head says) `length` bytes.
    BodySource(TSQLMemStreamDecompressor& decompressor, std::uint64_t length)
        : m_decompressor(&decompressor), m_left(length) {}

    // Bytes on hand, from the read position on.
    const std::uint8_t* data() const { return m_window.data() + m_begin; }
    std::size_t onHand() const { return m_window.size() - m_begin; }
    // Bytes that may still come after those on hand.
    std::uint64_t beyond() const { return m_left; }
    std::uint64_t position() const { return m_consumed; }
    bool exhausted() const { return m_left == 0; }

    void consume(std::size_t n) {
        m_begin += n;
        m_consumed += n;
    }
    // At least `n` bytes on hand, unless the body ends first: false then.
    bool want(std::size_t n) {
        if (onHand() >= n) return true;
        if (n - onHand() > m_left) return false;
        // Keep only what is not read yet, then read at least a chunk more.
        if (m_begin > 0) {
            m_window.erase(m_window.begin(),
                           m_window.begin() + static_cast<std::ptrdiff_t>(m_begin));
            m_begin = 0;
        }
        const std::size_t more = static_cast<std::size_t>(
            std::min<std::uint64_t>(m_left, std::max<std::size_t>(n - onHand(), kChunk)));
        const std::size_t had = m_window.size();
        m_window.resize(had + more);
        const std::size_t got = fill(m_window.data() + had, more);
        m_window.resize(had + got);
        m_left = got < more ? 0 : m_left - more;
        return onHand() >= n;
    }
    // `n` bytes, lent until the next call, or the short-read error.
    const std::uint8_t* take(std::size_t n, int code) {
        if (!want(n))
            raiseShortRead(code, static_cast<std::int64_t>(m_consumed),
                           static_cast<std::int64_t>(m_consumed + onHand()),
                           static_cast<std::int64_t>(n), static_cast<std::int64_t>(onHand()));
        const std::uint8_t* p = data();
        consume(n);
        return p;
    }
    // Reads one section with `parse`, which may need more than is on hand:
    // a refusal for want of bytes is tried again with more, until the body
    // has no more to give.
    template <class Parse>
    void section(Parse parse) {
        for (;;) {
            TByteReader in(data(), data() + onHand());
            try {
                parse(in);
                consume(in.offset());
                return;
            } catch (const ESQLMemException&) {
                // More bytes may make the section whole; once the body has
                // no more, the refusal stands.
                if (exhausted()) throw;
                want(onHand() + static_cast<std::size_t>(
                                    std::min<std::uint64_t>(m_left, std::max(onHand(), kChunk))));
            }
        }
    }

private:
    static constexpr std::size_t kChunk = 1 << 20;
    std::size_t fill(std::uint8_t* dest, std::size_t n) {
        if (m_decompressor) return m_decompressor->read(dest, n);
        return static_cast<std::size_t>(m_stream->read(dest, static_cast<std::int64_t>(n)));
    }
    TSQLMemStream* m_stream = nullptr;
    TSQLMemStreamDecompressor* m_decompressor = nullptr;
    std::uint64_t m_left;
    EngineBytes m_window;
    std::size_t m_begin = 0;
    std::uint64_t m_consumed = 0;
};

// Text fields end at their terminator in every record this engine stores:
// a foreign one that fills its whole width is given one in its last unit.
// (Placing the record copies up to the terminator, so the tails come out zero.)
void terminateText(std::uint8_t* record, const TSQLMemFieldDefs& fields) {
    for (int i = 0; i < fields.count(); ++i) {
        const TSQLMemFieldDef& f = fields[i];
        std::uint8_t* p = record + f.MemoryOffset;
        const std::size_t width = static_cast<std::size_t>(f.MemoryDataSize);
        if (f.BaseType == bftChar || f.BaseType == bftVarchar) {
            if (width > 0 && !std::memchr(p, 0, width)) p[width - 1] = 0;
        } else if (f.BaseType == bftWideChar || f.BaseType == bftWideVarchar) {
            const std::size_t units = width / 2;
            std::size_t u = 0;
            while (u < units && (p[2 * u] | p[2 * u + 1]) != 0)
                ++u;
            if (units > 0 && u == units) p[2 * units - 2] = p[2 * units - 1] = 0;
        }
    }
}

// NaN equals every number in a key comparison, so keys around it would pass
// for ordered when they are not; the dataset never stores one.
void checkNumbers(const std::uint8_t* record, const TSQLMemFieldDefs& fields) {
    for (int i = 0; i < fields.count(); ++i) {
        const TSQLMemFieldDef& f = fields[i];
        if (record_layout::isNull(record, i)) continue;
        const std::uint8_t* p = record + f.MemoryOffset;
        bool number = true;
        if (f.BaseType == bftSingle)
            number = !std::isnan(loadLE<float>(p));
        else if (f.BaseType == bftDouble || f.BaseType == bftCurrency)
            number = !std::isnan(loadLE<double>(p));
        else if (f.BaseType == bftExtended)
            number = !std::isnan(loadExtended(p));
        if (!number) badDefinition("field '" + f.Name + "' holds no number");
    }
}

// Definitions as this engine holds them: each field's stored width from its
// type, one sequence per auto-increment field, and IDs that name one object.
void checkLoadedDefinitions(TSQLMemDefinitionLists& lists) {
    TSQLMemFieldDefs& fields = lists.Fields;
    if (fields.count() == 0)
        throw ESQLMemException(10131, "Error creating table - no fields were specified");
    std::set<std::int32_t> sequenceIds;
    for (int i = 0; i < lists.Sequences.count(); ++i)
        if (!sequenceIds.insert(lists.Sequences[i].ObjectID).second)
            badDefinition("two sequences share an identifier");
    std::set<std::int32_t> usedSequences;
    for (int i = 0; i < fields.count(); ++i) {
        TSQLMemFieldDef& f = fields[i];
        if (f.BaseType == bftUnknown || baseTypeOf(f.AdvancedType) != f.BaseType)
            badDefinition("field '" + f.Name + "' has an unknown type");
        try {
            f.MemoryDataSize = memoryDataSize(f.BaseType, f.Size);
        } catch (const std::exception&) {
            badDefinition("field '" + f.Name + "' has an invalid size");
        }
        // A default is copied into every new record as it is: it must be a
        // value of the field (never a BLOB reference) and fit it.
        if (!f.DefaultValue.IsNull()) {
            TSQLMemVariant value(f.DefaultValue);
            bool holds = !isBlobBaseType(f.BaseType);
            try {
                if (holds) value.ConvertTo(f.BaseType);
            } catch (const ESQLMemException&) {
                holds = false;
            }
            if (!holds || value.Size() > f.MemoryDataSize)
                badDefinition("field '" + f.Name + "' has a default it cannot hold");
        }
        if (isAutoIncType(f.AdvancedType) &&
            (!sequenceIds.count(f.SequenceID) || !usedSequences.insert(f.SequenceID).second))
            badDefinition("field '" + f.Name + "' has no sequence of its own");
    }
    std::set<std::int32_t> indexIds;
    for (int i = 0; i < lists.Indexes.count(); ++i)
        if (!indexIds.insert(lists.Indexes[i].ObjectID).second)
            badDefinition("two indexes share an identifier");

    // Constraints find their fields and index by identifier on every change:
    // one that names nothing would fail every insert.
    std::set<std::int32_t> fieldIds;
    for (int i = 0; i < fields.count(); ++i)
        if (!fieldIds.insert(fields[i].ObjectID).second)
            badDefinition("two fields share an identifier");
    for (int i = 0; i < lists.Constraints.count(); ++i) {
        const TSQLMemConstraintDef& c = lists.Constraints[i];
        auto refused = [&] {
            badDefinition("constraint '" + c.Name + "' names no field or index");
        };
        auto checkColumns = [&](const std::vector<TSQLMemConstraintColumn>& columns) {
            for (const TSQLMemConstraintColumn& column : columns)
                if (!fieldIds.count(column.FieldID)) refused();
        };
        switch (c.Kind) {
            case ckPrimary:
            case ckUnique: {
                const auto& u = static_cast<const TSQLMemConstraintDefUnique&>(c);
                const TSQLMemIndexDef* index = lists.Indexes.findById(u.Index.ID);
                if (!index || !(index->Unique || index->Primary)) refused();
                checkColumns(u.Columns);
                break;
            }
            case ckNotNull:
            case ckCheck:
                if (!fieldIds.count(static_cast<const TSQLMemConstraintDefNotNull&>(c).Field.ID))
                    refused();
                break;
            case ckForeignKey:
                checkColumns(static_cast<const TSQLMemConstraintDefForeignKey&>(c).Columns);
                break;
            default:
                break;
        }
    }
}

}  // namespace

void TSQLMemTableImage::save(TSQLMemMemoryTableData& table, TSQLMemStream& stream, int algorithm,
                             std::int32_t sizeValue, std::uint8_t mode) {
    if (table.cursorCount() > 0)
        throw ESQLMemException(10153, "Cannot save table '%s'. Table is open by another dataset",
                               {table.name()});
    LockGuard lock(table, TSQLMemLockMode::Write);
    const TSQLMemMemoryRecordManager* store = table.memoryRecords();
    if (!store || !table.m_fieldManager)
        throw ESQLMemException(10154, "Table not found, table name = %s", {table.name()});

    TSQLMemImageHeader header;
    header.RecordCount = store->recordCount();
    header.SizeValue = sizeValue;
    header.Algorithm = static_cast<std::uint8_t>(algorithm);
    header.Mode = mode == 0 ? 1 : mode;
    header.TableName = table.name();
    header.ObjectIdValue = table.database()->objectIdValue();

    const std::int64_t start = stream.position();
    auto writeHead = [&] {
        std::vector<std::uint8_t> head;
        header.write(head);
        const std::size_t nameEnd = TSQLMemImageHeader::kSize + header.TableName.size();
        stream.writeBuffer(head.data(), TSQLMemImageHeader::kSize, kWriteHeader);
        stream.writeBuffer(head.data() + TSQLMemImageHeader::kSize,
                           static_cast<std::int64_t>(header.TableName.size()), kWriteName);
        stream.writeBuffer(head.data() + nameEnd, 8, kWriteObjectId);
    };
    writeHead();

    const bool compressed = algorithm != kCompressionNone;
    std::unique_ptr<TSQLMemStreamCompressor> compressor;
    if (compressed) compressor = std::make_unique<TSQLMemStreamCompressor>(algorithm, header.Mode);
    BodySink body(stream, compressor.get());
    std::vector<std::uint8_t> part;
    writeDefinitionSections(part, table.m_sequenceManager->SequenceDefs, table.fieldDefs(),
                            table.constraintDefs(), table.indexDefs());
    static_cast<const TSQLMemMemoryPageManager&>(table.pageManager()).writeImage(part);
    if (header.RecordCount > 0) store->writeStateImage(part);
    body.put(part);
    std::vector<std::uint8_t>().swap(part);
    if (header.RecordCount > 0)
        writeRecords(body, compressed ? 0 : stream.position(), *store, table.fieldDefs(),
                     table.blobs());
    body.flush();

    if (compressed) {
        EngineBytes packed;
        if (!compressor->finish(packed) || packed.size() > static_cast<std::size_t>(INT32_MAX))
            throw ESQLMemException(
                10085,
                "Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = %d, OutSize = %d",
                {std::int64_t{algorithm}, std::int64_t{header.Mode},
                 static_cast<std::int64_t>(body.written()),
                 static_cast<std::int64_t>(packed.size())});
        header.SizeValue = static_cast<std::int32_t>(packed.size());
        header.BodyLength = static_cast<std::int64_t>(body.written());
        stream.writeBuffer(packed.data(), static_cast<std::int64_t>(packed.size()), kWriteBody);
    }
    const std::int64_t end = stream.position();
    stream.seekTo(start, kSeekBack);
    writeHead();
    stream.seekTo(end, kSeekBack);
}

void TSQLMemTableImage::load(TSQLMemMemoryTableData& table, TSQLMemStream& stream) {
    if (table.cursorCount() > 0)
        throw ESQLMemException(10152, "Cannot load table '%s'. Table is open by another dataset",
                               {table.name()});
    if (table.m_fieldManager)
        throw std::logic_error("a table image loads into a storage without fields");
    LockGuard lock(table, TSQLMemLockMode::Write);

    // The head: its fixed part, then as much of the name and the object
    // identifier as the stream holds, so that a bad signature or version is
    // told before a short name.
    EngineBytes head(TSQLMemImageHeader::kSize);
    stream.readBuffer(head.data(), TSQLMemImageHeader::kSize, kReadHeader);
    const std::size_t rest = head[TSQLMemImageHeader::kSize - 1] + 8u;
    head.resize(TSQLMemImageHeader::kSize + rest);
    const std::int64_t got =
        stream.read(head.data() + TSQLMemImageHeader::kSize, static_cast<std::int64_t>(rest));
    head.resize(TSQLMemImageHeader::kSize + static_cast<std::size_t>(got));
    TByteReader headReader(head.data(), head.data() + head.size(), kReadHeader);
    const TSQLMemImageHeader header = TSQLMemImageHeader::read(headReader);
    // A nameless table could never be opened or deleted again.
    if (header.TableName.empty()) badDefinition("the image names no table");
    const std::int64_t bodyStart = stream.position();

    // The body, read as it is needed.
    const std::int64_t left = std::max<std::int64_t>(0, stream.size() - bodyStart);
    EngineBytes packed;
    std::unique_ptr<TSQLMemStreamDecompressor> decompressor;
    std::unique_ptr<BodySource> source;
    const std::int64_t packedSize = header.SizeValue;
    auto decompressFailed = [&] {
        throw ESQLMemException(
            kErrDecompress, "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d",
            {std::int64_t{header.Algorithm}, packedSize,
             static_cast<std::int64_t>(decompressor ? decompressor->produced() : 0)});
    };
    if (header.Algorithm != kCompressionNone) {
        if (packedSize <= 0 || packedSize > left || header.BodyLength <= 0) decompressFailed();
        packed.resize(static_cast<std::size_t>(packedSize));
        stream.readBuffer(packed.data(), packedSize, kReadBody);
        decompressor = std::make_unique<TSQLMemStreamDecompressor>(
            header.Algorithm, packed, static_cast<std::uint64_t>(header.BodyLength));
        source = std::make_unique<BodySource>(*decompressor,
                                              static_cast<std::uint64_t>(header.BodyLength));
    } else {
        source = std::make_unique<BodySource>(stream);
    }
    BodySource& in = *source;
    // A section refused because the data behind it would not decompress is
    // the decompression's failure.
    auto guard = [&](auto read) {
        try {
            read();
        } catch (const ESQLMemException&) {
            if (decompressor && decompressor->failed()) decompressFailed();
            throw;
        }
    };
    // Where BLOB positions count from, in the stream they were written to.
    const std::int64_t base = header.Algorithm != kCompressionNone ? 0 : bodyStart;

    TSQLMemSequenceDefs sequences;
    TSQLMemFieldDefs fields;
    TSQLMemConstraintDefs constraints;
    TSQLMemIndexDefs indexes;
    TSQLMemDefinitionLists lists{sequences, fields, constraints, indexes};
    guard([&] { in.section([&](TByteReader& r) { readDefinitionSections(r, lists); }); });
    checkLoadedDefinitions(lists);
    table.checkDefinitions(fields, constraints, indexes);

    auto fieldManager = std::make_unique<TSQLMemBaseFieldManager>();
    fieldManager->assign(fields);
    // Each attempt of a section starts from a fresh store.
    std::unique_ptr<TSQLMemMemoryPageManager> pageManager;
    guard([&] {
        in.section([&](TByteReader& r) {
            pageManager = std::make_unique<TSQLMemMemoryPageManager>();
            pageManager->readImage(r);
        });
    });
    auto indexManager =
        std::make_unique<TSQLMemBaseIndexManager>(*pageManager, fieldManager->FieldDefs);
    indexManager->IndexDefs.assign(indexes);
    auto constraintManager = std::make_unique<TSQLMemBaseConstraintManager>();
    constraintManager->assign(constraints);
    auto sequenceManager = std::make_unique<TSQLMemBaseSequenceManager>();
    sequenceManager->SequenceDefs.assign(sequences);
    auto newRecords = [&] {
        auto made = std::make_unique<TSQLMemMemoryRecordManager>(&table, fieldManager->recordSize(),
                                                                 table.allocBy());
        made->setCopier(&fieldManager->copier());
        return made;
    };
    auto records = newRecords();

    TSQLMemBlobBlocks blobs;
    if (header.RecordCount > 0) {
        if (header.RecordCount > INT32_MAX)
            throw ESQLMemException(kReadRecordNo, "Invalid record No = %d", {header.RecordCount});
        guard([&] {
            in.section([&](TByteReader& r) {
                records = newRecords();
                records->readStateImage(r, header.RecordCount, in.beyond());
            });
        });
        const TSQLMemFieldDefs& defs = fieldManager->FieldDefs;
        const std::vector<BlobField> blobFields = blobFieldsOf(defs);
        const auto size = static_cast<std::size_t>(fieldManager->recordSize());
        EngineBytes record(size);
        guard([&] {
            for (std::int64_t n = 0; n < header.RecordCount; ++n) {
                std::memcpy(record.data(), in.take(size, kReadRecord), size);
                terminateText(record.data(), defs);
                checkNumbers(record.data(), defs);
                for (const BlobField& b : blobFields) {
                    if (record_layout::isNull(record.data(), b.fieldNo)) continue;
                    const std::int64_t position = loadLE<std::int64_t>(record.data() + b.offset);
                    // Each image follows the one before it, so no byte is
                    // taken twice and a value costs no more than its own bytes.
                    if (position - base != static_cast<std::int64_t>(in.position()))
                        raiseShortRead(kBlobPosition, position,
                                       base + static_cast<std::int64_t>(in.position()),
                                       kBlobImageHeader, 0);
                    std::uint8_t h[kBlobImageHeader];
                    std::memcpy(h, in.take(kBlobImageHeader, kBlobHeader), kBlobImageHeader);
                    const std::int32_t chainBlocks = loadLE<std::int32_t>(h);
                    const std::int64_t dataLength = loadLE<std::int64_t>(h + 4);
                    const std::int64_t stored = loadLE<std::int64_t>(h + 12);
                    const TSQLMemFieldDef& f = defs[b.fieldNo];
                    // A plain value is its data; a chain needs the field's
                    // algorithm to be read, and its own headers are checked
                    // as it is.
                    if (chainBlocks < 0 || dataLength < 0 || stored < 0 ||
                        (chainBlocks == 0 ? dataLength != stored
                                          : f.BlobCompressionAlgorithm == kCompressionNone))
                        raiseShortRead(kBlobHeader, position,
                                       base + static_cast<std::int64_t>(in.position()),
                                       kBlobImageHeader, kBlobImageHeader);
                    if (static_cast<std::uint64_t>(stored) > in.onHand() + in.beyond())
                        raiseShortRead(
                            kBlobBytes, base + static_cast<std::int64_t>(in.position()),
                            base + static_cast<std::int64_t>(in.position() + in.onHand()), stored,
                            static_cast<std::int64_t>(in.onHand()));
                    const std::uint8_t* bytes =
                        in.take(static_cast<std::size_t>(stored), kBlobBytes);
                    EngineBlock block;
                    block.resize(TSQLMemBlobBlocks::kHeaderSize + static_cast<std::size_t>(stored));
                    std::memcpy(block.data(), h, TSQLMemBlobBlocks::kHeaderSize);
                    std::memcpy(block.data() + TSQLMemBlobBlocks::kHeaderSize, bytes,
                                static_cast<std::size_t>(stored));
                    TSQLMemBlobBlocks::setReference(record.data() + b.offset,
                                                    blobs.add(std::move(block)),
                                                    TSQLMemBlobBlocks::kMarkStored);
                }
                records->placeLoaded(record.data());
            }
        });
    }
    // A compressed body is whole only once its end and check value are read,
    // and it ends where its last section does.
    if (decompressor) {
        std::uint8_t past;
        if (in.onHand() != 0 || decompressor->read(&past, 1) != 0 || !decompressor->complete() ||
            decompressor->produced() != static_cast<std::uint64_t>(header.BodyLength))
            decompressFailed();
    }

    // The stored trees are taken as they are, once they are shown sound.
    std::vector<bool> seenPages;
    for (int i = 0; i < indexManager->IndexDefs.count(); ++i)
        indexManager->index(indexManager->IndexDefs[i].ObjectID).verifyLoaded(*records, seenPages);

    TSQLMemDatabaseData* database = table.database();
    if (TSQLMemTableData* other = database->findTableStorage(header.TableName);
        other && other != &table)
        throw ESQLMemException(kErrNameTaken,
                               "Cannot load table '%s' - table with such name already exists",
                               {header.TableName});

    // Everything is read and sound: the table takes it whole.
    table.m_pageManager = std::move(pageManager);
    table.m_fieldManager = std::move(fieldManager);
    table.m_indexManager = std::move(indexManager);
    table.m_constraintManager = std::move(constraintManager);
    table.m_sequenceManager = std::move(sequenceManager);
    table.m_recordManager = std::move(records);
    table.m_blobs = std::move(blobs);
    table.setName(header.TableName);
    if (header.Algorithm == kCompressionNone)
        stream.seekTo(bodyStart + static_cast<std::int64_t>(in.position()), kSeekBack);
    database->raiseObjectIdValue(std::min<std::int64_t>(header.ObjectIdValue, INT32_MAX));
}

}  // namespace sqlmem
