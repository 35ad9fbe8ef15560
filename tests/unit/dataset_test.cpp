// Dataset tables: name hash, interning, growth, duplicate types.
#include <gtest/gtest.h>

#include <string>

#include "internal.h"

namespace {

struct DatasetDeleter {
    void operator()(WaveformDataset* ds) const { destroyDataset(ds); }
};
using DatasetPtr = std::unique_ptr<WaveformDataset, DatasetDeleter>;

TEST(Dataset, HashCountsHighBytesNegative) {
    EXPECT_EQ(nameHash(""), 0u);
    EXPECT_EQ(nameHash("\xFF"), 0x1FFFu);
    // 'a' * 33 + 0x80 taken as -128.
    EXPECT_EQ(nameHash("a\x80"), static_cast<uint32_t>(97 * 33 - 128) & 0x1FFFu);
    EXPECT_EQ(nameHash("ab"), static_cast<uint32_t>(97 * 33 + 98));
}

TEST(Dataset, DuplicateVariableAddsRecordReturnsFirst) {
    DatasetPtr ds(createDataset());
    EXPECT_EQ(addVariable(ds.get(), "time", 1, kKindReal), 0);
    EXPECT_EQ(addVariable(ds.get(), "out", 1, kKindReal), 1);
    EXPECT_EQ(addVariable(ds.get(), "time", 2, kKindComplex), 0);
    EXPECT_EQ(ds->variableCount, 3);
    EXPECT_EQ(ds->variables[2].typeCode, 2u);
    EXPECT_EQ(ds->variables[2].nameOffset, ds->variables[0].nameOffset);
}

TEST(Dataset, TypesPerNameSpace) {
    DatasetPtr ds(createDataset());
    EXPECT_EQ(addType(ds.get(), "outer", -1), 0);
    EXPECT_EQ(addType(ds.get(), "outer", -1), -1);
    EXPECT_EQ(ds->lastError, static_cast<uint32_t>(kErrorDuplicateType));
    EXPECT_STREQ(wfxLastErrorText(), "Error: Duplicate type defintion outer !!");
    EXPECT_EQ(ds->typeCount, 1);

    ds->lastError = 0;
    EXPECT_EQ(addType(ds.get(), "temp", 0), 1);
    EXPECT_EQ(addType(ds.get(), "temp", 1), 2);
    EXPECT_EQ(ds->lastError, 0u);
    EXPECT_EQ(ds->types[1].parentType, 0);
    EXPECT_EQ(ds->types[2].kind, -1);
}

TEST(Dataset, CollidingNamesChainInOneBucket) {
    DatasetPtr ds(createDataset());
    // "\xFF" and "a\x1E"... pick two names with the same bucket by search.
    std::string first = "n0";
    uint32_t bucket = nameHash(first.c_str());
    std::string second;
    for (int i = 1; second.empty(); ++i) {
        std::string candidate = "n" + std::to_string(i);
        if (nameHash(candidate.c_str()) == bucket) second = candidate;
    }
    addVariable(ds.get(), first.c_str(), 1, kKindReal);
    addVariable(ds.get(), second.c_str(), 1, kKindReal);
    int added = 1;
    SymbolRecord* s = findOrAddName(ds.get(), second.c_str(), kVariableNameSpace, 0, &added);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(added, 0);
    EXPECT_EQ(s->ownerIndex, 1);
    EXPECT_EQ(findOrAddName(ds.get(), "absent", kVariableNameSpace, 0, &added), nullptr);
}

}  // namespace
