// Dataset tables: name hash, interning, growth, duplicate types.
#include <gtest/gtest.h>

#include <string>

#include "internal.h"

namespace {

struct DatasetDeleter {
    void operator()(WaveformDataset* ds) const { destroyDataset(ds); }
};
using DatasetPtr = std::unique_ptr<WaveformDataset, DatasetDeleter>;

TEST(Dataset, FreshDatasetHasInitialValues) {
    DatasetPtr ds(createDataset());
    ASSERT_NE(ds, nullptr);
    EXPECT_EQ(ds->dataFormat, 0xFFFFFFFFu);
    EXPECT_EQ(ds->analysisKind, 0xFFFFFFFFu);
    EXPECT_EQ(ds->sweepCount, 1);
    EXPECT_EQ(ds->mainCount, -1);
    EXPECT_EQ(ds->dataOffset, -1);
    for (int i = 0; i < WFX_SYMBOL_BUCKETS; ++i) ASSERT_EQ(ds->symbolBuckets[i], -1) << i;
}

TEST(Dataset, HashCountsHighBytesNegative) {
    EXPECT_EQ(nameHash(""), 0u);
    EXPECT_EQ(nameHash("\xFF"), 0x1FFFu);
    // 'a' * 33 + 0x80 taken as -128.
    EXPECT_EQ(nameHash("a\x80"), static_cast<uint32_t>(97 * 33 - 128) & 0x1FFFu);
    EXPECT_EQ(nameHash("ab"), static_cast<uint32_t>(97 * 33 + 98));
}

TEST(Dataset, VariablesGrowAndKeepOffsets) {
    DatasetPtr ds(createDataset());
    for (int i = 0; i < 101; ++i) {
        ASSERT_EQ(addVariable(ds.get(), ("v" + std::to_string(i)).c_str(), 1, kKindReal), i);
    }
    EXPECT_EQ(ds->variableCapacity, 200);
    EXPECT_EQ(ds->variableCount, 101);
    for (int i = 0; i < 101; ++i) {
        EXPECT_EQ(std::string(wfxName(ds.get(), ds->variables[i].nameOffset)),
                  "v" + std::to_string(i));
        EXPECT_EQ(ds->variables[i].identifier, -1);
        EXPECT_EQ(ds->variables[i].memberCount, 0u);
    }
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

TEST(Dataset, NameSharedAcrossNameSpacesIsStoredOnce) {
    DatasetPtr ds(createDataset());
    addVariable(ds.get(), "temp", 1, kKindReal);
    uint32_t used = ds->namePoolUsed;
    addType(ds.get(), "temp", -1);
    EXPECT_EQ(ds->namePoolUsed, used);
    EXPECT_EQ(ds->types[0].nameOffset, ds->variables[0].nameOffset);
    EXPECT_EQ(ds->symbolCount, 2u);
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

TEST(Dataset, LongNamesGrowThePool) {
    DatasetPtr ds(createDataset());
    std::string longName(3000, 'x');
    int32_t offset = addNameToPool(ds.get(), longName.c_str());
    ASSERT_EQ(offset, 0);
    EXPECT_GE(ds->namePoolCapacity, 3001u);
    EXPECT_EQ(ds->namePoolCapacity % 1024, 0u);
    EXPECT_EQ(std::string(ds->namePool), longName);
}

}  // namespace
