// Dataset tables: a repeated variable, types per name space, bucket chains.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "internal.h"

namespace {

struct DatasetDeleter {
    void operator()(WaveformDataset* ds) const { destroyDataset(ds); }
};
using DatasetPtr = std::unique_ptr<WaveformDataset, DatasetDeleter>;

TEST(Dataset, RepeatedNamesAndTypes) {
    DatasetPtr ds(createDataset());
    // A repeated variable gets its own record and shares the first's name.
    EXPECT_EQ(addVariable(ds.get(), "time", 1, kKindReal), 0);
    EXPECT_EQ(addVariable(ds.get(), "out", 1, kKindReal), 1);
    EXPECT_EQ(addVariable(ds.get(), "time", 2, kKindComplex), 0);
    EXPECT_EQ(ds->variableCount, 3);
    EXPECT_EQ(ds->variables[2].nameOffset, ds->variables[0].nameOffset);
    // Types clash only within one parent.
    EXPECT_EQ(addType(ds.get(), "outer", -1), 0);
    EXPECT_EQ(addType(ds.get(), "outer", -1), -1);
    EXPECT_EQ(ds->lastError, static_cast<uint32_t>(kErrorDuplicateType));
    ds->lastError = 0;
    EXPECT_EQ(addType(ds.get(), "temp", 0), 1);
    EXPECT_EQ(addType(ds.get(), "temp", 1), 2);
    EXPECT_EQ(ds->lastError, 0u);
    EXPECT_EQ(ds->types[1].parentType, 0);
}

TEST(Dataset, CollidingNamesChainInOneBucket) {
    DatasetPtr ds(createDataset());
    const uint32_t bucket = nameHash("n0");
    std::string second;
    for (int i = 1; second.empty(); ++i) {
        if (nameHash(("n" + std::to_string(i)).c_str()) == bucket) second = "n" + std::to_string(i);
    }
    addVariable(ds.get(), "n0", 1, kKindReal);
    addVariable(ds.get(), second.c_str(), 1, kKindReal);
    int added = 1;
    SymbolRecord* s = findOrAddName(ds.get(), second.c_str(), kVariableNameSpace, 0, &added);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(added * 10 + s->ownerIndex, 1);
    EXPECT_EQ(findOrAddName(ds.get(), "absent", kVariableNameSpace, 0, &added), nullptr);
}

}  // namespace
