// The head and the definition sections of a table image: byte layout,
// round trips and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "io/definitions_image.h"
#include "io/image_header.h"
#include "platform/byte_reader.h"
#include "platform/bytes.h"
#include "storage/meta_defs.h"
#include "values/data_types.h"

namespace sqlmem {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Lists {
    TSQLMemSequenceDefs sequences;
    TSQLMemFieldDefs fields;
    TSQLMemConstraintDefs constraints;
    TSQLMemIndexDefs indexes;
    TSQLMemDefinitionLists refs() { return {sequences, fields, constraints, indexes}; }
    Bytes write() const {
        Bytes out;
        writeDefinitionSections(out, sequences, fields, constraints, indexes);
        return out;
    }
};

void read(const Bytes& image, Lists& into) {
    TByteReader in(image.data(), image.data() + image.size());
    readDefinitionSections(in, into.refs());
    EXPECT_TRUE(in.atEnd());
}

TSQLMemFieldDef& field(Lists& l, const std::string& name, std::uint8_t base, std::uint8_t advanced,
                       std::int32_t size, std::int32_t id) {
    TSQLMemFieldDef& f = l.fields.addCreated();
    f.Name = name;
    f.ObjectID = id;
    f.BaseType = base;
    f.AdvancedType = advanced;
    f.Size = size;
    f.DefaultValue.SetNull();
    return f;
}

// The journal's first field: name, identifier, types, size, then a null
// default of two bytes.
TEST(DefinitionsImageTest, AFieldWithANullDefaultIsItsPrefixTypesSizeAndTwoBytes) {
    Lists l;
    field(l, "id", bftInteger, aftInteger, 0, 7);
    const Bytes image = l.write();
    const Bytes expected = {
        0,          0,          0,   0,           // no sequences
        1,          0,          0,   0,           // one field
        2,          'i',        'd', 7, 0, 0, 0,  // name, ObjectID
        bftInteger, aftInteger, 0,   0, 0, 0,     // types, size
        bftUnknown, 255,                          // null default
        0,          0,          0,   0,           // no constraints
        0,          0,          0,   0,           // no indexes
    };
    EXPECT_EQ(image, expected);
}

TEST(DefinitionsImageTest, EveryKindOfDefinitionComesBackAsItWent) {
    Lists l;
    TSQLMemFieldDef& counter = field(l, "n", bftInteger, aftAutoIncInteger, 0, 1);
    counter.SequenceID = 50;
    counter.AutoincIncrement = 2;
    counter.AutoincInitialValue = 10;
    counter.AutoincMinValue = -5;
    counter.AutoincMaxValue = 1000;
    counter.AutoincCycled = true;
    TSQLMemFieldDef& name = field(l, "name", bftVarchar, aftVarchar, 40, 2);
    name.DefaultValue.SetString(std::string("\xC8\xE2\xE0\xED"));  // 1251 text
    TSQLMemFieldDef& photo = field(l, "photo", bftBlob, aftBlob, 0, 3);
    photo.BlobCompressionAlgorithm = 1;
    photo.BlobCompressionMode = 6;
    photo.BlobBlockSize = 65536;

    TSQLMemSequenceDef& seq = l.sequences.addCreated();
    seq.Name = "t_n";
    seq.ObjectID = 50;
    seq.BaseType = bftInteger;
    seq.MinValue = -5;
    seq.MaxValue = 1000;
    seq.CurrentValue = 42;
    seq.Increment = 2;
    seq.Cycled = true;
    TSQLMemSequenceDef& unused = l.sequences.addCreated();  // no field draws on it
    unused.Name = "orphan";
    unused.ObjectID = 51;

    auto& pk = l.constraints.addNew<TSQLMemConstraintDefPrimary>();
    pk.Name = "pk";
    pk.ObjectID = 60;
    pk.Table = {"t", 4};
    pk.Index = {"ByN", 70};
    pk.Columns = {{"n", 1}};
    auto& nn = l.constraints.addNew<TSQLMemConstraintDefNotNull>();
    nn.Name = "nn";
    nn.ObjectID = 61;
    nn.Table = {"t", 4};
    nn.Field = {"name", 2};
    auto& check = l.constraints.addNew<TSQLMemConstraintDefCheck>();
    check.Name = "range";
    check.ObjectID = 62;
    check.Field = {"n", 1};
    check.MinValue.SetInteger(-5);
    check.MaxValue.SetNull();
    auto& fk = l.constraints.addNew<TSQLMemConstraintDefForeignKey>();
    fk.Name = "fk";
    fk.ObjectID = 63;
    fk.RefTable = {"parent", 80};
    fk.RefConstraint = {"parent_action", 81};
    fk.DeleteAction = fkaCascade;
    fk.UpdateAction = fkaSetNull;
    fk.MatchType = fkmFull;
    fk.Columns = {{"n", 1}, {"name", 2}};
    auto& action = l.constraints.addNew<TSQLMemConstraintDefForeignKeyAction>();
    action.Name = "back";
    action.ObjectID = 64;
    action.RefTable = {"child", 90};

    TSQLMemIndexDef& byN = l.indexes.addCreated();
    byN.Name = "ByN";
    byN.ObjectID = 70;
    byN.Unique = byN.Primary = true;
    byN.StructureNo = 3;
    byN.Columns = {{"n", false, false}, {"name", true, true}};
    TSQLMemIndexDef& scratch = l.indexes.addCreated();
    scratch.Name = "session";
    scratch.Temporary = true;

    Lists back;
    read(l.write(), back);

    ASSERT_EQ(back.sequences.count(), 1);  // one per auto-increment field
    EXPECT_EQ(back.sequences[0].Name, "t_n");
    EXPECT_EQ(back.sequences[0].CurrentValue, 42);
    EXPECT_EQ(back.sequences[0].MinValue, -5);
    EXPECT_TRUE(back.sequences[0].Cycled);

    ASSERT_EQ(back.fields.count(), 3);
    EXPECT_EQ(back.fields[0].SequenceID, 50);
    EXPECT_EQ(back.fields[0].AutoincInitialValue, 10);
    EXPECT_EQ(back.fields[0].AutoincMaxValue, 1000);
    EXPECT_TRUE(back.fields[0].AutoincCycled);
    EXPECT_EQ(back.fields[1].Size, 40);
    EXPECT_EQ(back.fields[1].DefaultValue.Compare(name.DefaultValue, false, false, false), 0);
    EXPECT_EQ(back.fields[2].BlobCompressionMode, 6);
    EXPECT_EQ(back.fields[2].BlobBlockSize, 65536);
    EXPECT_TRUE(back.fields[2].DefaultValue.IsNull());

    ASSERT_EQ(back.constraints.count(), 5);
    const auto& pk2 = static_cast<const TSQLMemConstraintDefUnique&>(back.constraints[0]);
    EXPECT_EQ(pk2.Kind, ckPrimary);
    EXPECT_EQ(pk2.Index.Name, "ByN");
    EXPECT_EQ(pk2.Index.ID, 70);
    ASSERT_EQ(pk2.Columns.size(), 1u);
    EXPECT_EQ(pk2.Columns[0].FieldID, 1);
    const auto& nn2 = static_cast<const TSQLMemConstraintDefNotNull&>(back.constraints[1]);
    EXPECT_EQ(nn2.Field.Name, "name");
    EXPECT_EQ(nn2.Table.ID, 4);
    const auto& check2 = static_cast<const TSQLMemConstraintDefCheck&>(back.constraints[2]);
    EXPECT_EQ(check2.MinValue.Compare(check.MinValue, false, false, false), 0);
    EXPECT_TRUE(check2.MaxValue.IsNull());
    const auto& fk2 = static_cast<const TSQLMemConstraintDefForeignKey&>(back.constraints[3]);
    EXPECT_EQ(fk2.RefConstraint.Name, "parent_action");
    EXPECT_EQ(fk2.MatchType, fkmFull);
    ASSERT_EQ(fk2.Columns.size(), 2u);
    EXPECT_EQ(fk2.Columns[1].Name, "name");
    EXPECT_EQ(back.constraints[4].Kind, ckForeignKeyAction);

    ASSERT_EQ(back.indexes.count(), 1);  // the temporary index is not kept
    EXPECT_EQ(back.indexes[0].StructureNo, 3);
    EXPECT_TRUE(back.indexes[0].Primary);
    ASSERT_EQ(back.indexes[0].Columns.size(), 2u);
    EXPECT_TRUE(back.indexes[0].Columns[1].Descending);
    EXPECT_TRUE(back.indexes[0].Columns[1].CaseInsensitive);

    // What was read writes the same bytes again (the orphan sequence aside).
    l.sequences.deleteItem(1);
    l.indexes.deleteItem(1);
    EXPECT_EQ(back.write(), l.write());
}

TEST(DefinitionsImageTest, DamagedSectionsAreRefusedWithTheirPlace) {
    Lists l;
    field(l, "id", bftInteger, aftInteger, 0, 7);
    auto& nn = l.constraints.addNew<TSQLMemConstraintDefNotNull>();
    nn.Name = "nn";
    nn.Field = {"id", 7};
    const Bytes good = l.write();

    struct Case {
        const char* what;
        std::size_t at;
        std::vector<std::uint8_t> bytes;  // written over the image at `at`
        std::size_t keep;                 // image cut to this length; 0 keeps all
        int code;
    };
    const std::size_t constraintAt = 4 + 4 + 15 + 4;  // the kind byte
    const Case cases[] = {
        {"forged sequence count", 0, {0xFF, 0xFF, 0xFF, 0x7F}, 0, 10158},
        {"negative field count", 4, {0xFF, 0xFF, 0xFF, 0xFF}, 0, 10158},
        {"field cut inside its default value", 0, {}, 8 + 14, 10180},
        {"constraint kind 6", constraintAt, {6}, 0, 30316},
        {"byte-counted name whose inner length disagrees",
         constraintAt + 1 + 3 + 4 + 12,
         {1, 5},
         0,
         10221},
        {"image ends before the index count", 0, {}, good.size() - 2, 10158},
    };
    for (const Case& c : cases) {
        Bytes image = good;
        std::copy(c.bytes.begin(), c.bytes.end(), image.begin() + c.at);
        if (c.keep) image.resize(c.keep);
        Lists back;
        TByteReader in(image.data(), image.data() + image.size());
        EXPECT_EQ(testing::codeOf([&] { readDefinitionSections(in, back.refs()); }), c.code)
            << c.what;
    }
}

TEST(DefinitionsImageTest, NamesTooLongForTheirPlaceAreRefusedWhenWriting) {
    Lists l;
    field(l, std::string(256, 'x'), bftInteger, aftInteger, 0, 1);
    EXPECT_THROW(l.write(), std::range_error);

    Lists m;
    field(m, "id", bftInteger, aftInteger, 0, 1);
    auto& nn = m.constraints.addNew<TSQLMemConstraintDefNotNull>();
    nn.Field = {std::string(255, 'f'), 1};  // fits a short string, not behind a length byte
    EXPECT_THROW(m.write(), std::range_error);
}

// --- the head -----------------------------------------------------------------

TEST(ImageHeaderTest, TheHeadIsItsFieldsAtTheirOffsetsAndReadsBack) {
    TSQLMemImageHeader h;
    h.RecordCount = 3;
    h.BodyLength = 205000;
    h.SizeValue = 1234;  // the compressed length
    h.Algorithm = 1;
    h.Mode = 0;  // stored as 1
    h.TableName = "tests";
    h.ObjectIdValue = 77;
    Bytes image;
    h.write(image);
    ASSERT_EQ(image.size(), 43u + 5u + 8u);  // the body would start at 51 + n
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "ACS1");
    EXPECT_EQ(loadLE<double>(image.data() + 4), 3.4);
    EXPECT_EQ(loadLE<std::int64_t>(image.data() + 12), 3);
    EXPECT_EQ(loadLE<std::int64_t>(image.data() + 20), 205000);
    EXPECT_EQ(loadLE<std::int32_t>(image.data() + 36), 1234);
    EXPECT_EQ(image[40], 1);
    EXPECT_EQ(image[41], 1);
    EXPECT_EQ(image[42], 5);
    EXPECT_EQ(loadLE<std::int64_t>(image.data() + 48), 77);

    TByteReader in(image.data(), image.data() + image.size());
    const TSQLMemImageHeader back = TSQLMemImageHeader::read(in);
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(back.TableName, "tests");
    EXPECT_EQ(back.SizeValue, 1234);
    EXPECT_EQ(back.Mode, 1);
    EXPECT_EQ(back.ObjectIdValue, 77);

    h.TableName.assign(256, 't');
    EXPECT_THROW(h.write(image), std::range_error);
}

TEST(ImageHeaderTest, SignatureVersionAndShortHeadsAreRefusedWithTheirCodes) {
    TSQLMemImageHeader h;
    h.TableName = "tests";
    Bytes good;
    h.write(good);
    const auto withVersion = [&](double v) {
        Bytes image = good;
        storeLE<double>(image.data() + 4, v);
        return image;
    };
    struct Case {
        const char* what;
        Bytes image;
        int code;
        std::string message;  // checked whole when given
    };
    Bytes badSignature = good;
    badSignature[3] = '2';
    const Case cases[] = {
        {"version 3.4 exactly", withVersion(3.4), 0, ""},
        {"version 3.5", withVersion(3.5), 10162,
         "Invalid version number = 3.500000. Should be 3.400000 - Native error: 10162"},
        {"version 1.0", withVersion(1.0), 10443, ""},
        {"version 1.005", withVersion(1.005), 10454, ""},
        {"version 1.015", withVersion(1.015), 10455, ""},
        {"version that is no number", withVersion(std::nan("")), 10162, ""},
        {"signature", badSignature, 10161,
         "Invalid signature = ACS2. Should be ACS1 - Native error: 10161"},
        {"head cut short", Bytes(good.begin(), good.begin() + 42), 10160, ""},
        {"name cut short", Bytes(good.begin(), good.begin() + 45), 10163, ""},
        {"identifier value cut short", Bytes(good.begin(), good.end() - 1), 10417, ""},
    };
    for (const Case& c : cases) {
        TByteReader in(c.image.data(), c.image.data() + c.image.size());
        std::string message;
        EXPECT_EQ(testing::codeOf([&] { TSQLMemImageHeader::read(in); }, &message), c.code)
            << c.what;
        if (!c.message.empty()) {
            EXPECT_EQ(message, c.message) << c.what;
        }
    }
}

}  // namespace
}  // namespace sqlmem
