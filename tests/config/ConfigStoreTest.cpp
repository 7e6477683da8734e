#include <gtest/gtest.h>

#include "config/ConfigStore.h"
#include "tests/support/TempDir.h"

namespace {

CConfigStore Parsed(const std::string& text) {
    CConfigStore store;
    store.Parse(text);
    return store;
}

TEST(ConfigFileFormat, CommentsCountOnlyInTheFirstColumn) {
    CConfigStore store = Parsed("# a comment\n  # not a comment\nkey = value\n");
    EXPECT_EQ(store.Entries().size(), 2u);
    EXPECT_EQ(store.Get("key"), "value");
    // The line with spaces before its "#" is a key with an empty value, from the "#" on.
    ASSERT_EQ(store.Entries().count("# not a comment"), 1u);
    EXPECT_EQ(store.Get("# not a comment"), "");
}

TEST(ConfigFileFormat, FirstEqualsSplitsAndBothSidesAreTrimmed) {
    CConfigStore store = Parsed("\t a = b = c \t\r\nflag\n= empty key\nx=\n");
    EXPECT_EQ(store.Get("a"), "b = c");
    ASSERT_EQ(store.Entries().count("flag"), 1u);
    EXPECT_EQ(store.Get("flag"), "");
    ASSERT_EQ(store.Entries().count(""), 1u);
    EXPECT_EQ(store.Get(""), "empty key");
    ASSERT_EQ(store.Entries().count("x"), 1u);
    EXPECT_EQ(store.Get("x"), "");
}

TEST(ConfigFileFormat, LaterKeyWinsAndLineEndsOfAnyKindSeparate) {
    CConfigStore store = Parsed("k = 1\r\r\n\n   \t\nk = 2\rother = 3");
    EXPECT_EQ(store.Get("k"), "2");
    EXPECT_EQ(store.Get("other"), "3");
    EXPECT_EQ(store.Entries().size(), 2u);
    // A "#" inside a value is part of it.
    EXPECT_EQ(Parsed("colour = 0xff0000 # red").Get("colour"), "0xff0000 # red");
}

TEST(ConfigStore, KeysAreOrderedByUnsignedBytes) {
    CConfigStore store;
    store.Set("b", "");
    store.Set("Window.W", "");
    store.Set("Window.H", "");
    store.Set("\xe9t\xe9", "");
    store.Set("Z", "");
    std::vector<std::string> keys;
    for (const auto& [key, value] : store.Entries()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"Window.H", "Window.W", "Z", "b", "\xe9t\xe9"}));
    EXPECT_EQ(store.Get("missing"), "");
    store.Clear();
    EXPECT_TRUE(store.Entries().empty());
}

TEST(ConfigStoreFile, MissingFileLoadsNothingAndEmptiesTheStore) {
    TempDir dir;
    CConfigStore store;
    store.Set("stale", "1");
    EXPECT_FALSE(store.Load(dir.File("absent.cfg")));
    EXPECT_TRUE(store.Entries().empty());
}

TEST(ConfigStoreFile, SaveWritesHeaderBlankLineAndSortedEntries) {
    TempDir dir;
    CConfigStore store;
    store.Set("Window.W", "800");
    store.Set("Window.H", "-600");
    ASSERT_TRUE(store.Save(dir.File("s.cfg"), CConfigStore::kSettingsHeader));
    EXPECT_EQ(TempDir::Read(dir.File("s.cfg")),
              "# This file is modified by OstrakClient. Do not manually edit this\n"
              "# file while OstrakClient is running!\n\n"
              "Window.H = -600\nWindow.W = 800\n");

    CConfigStore empty;
    ASSERT_TRUE(empty.Save(dir.File("e.cfg"), CConfigStore::kSettingsHeader));
    EXPECT_EQ(TempDir::Read(dir.File("e.cfg")),
              std::string(CConfigStore::kSettingsHeader) + "\n\n");
    ASSERT_TRUE(empty.Save(dir.File("n.cfg"), ""));
    EXPECT_EQ(TempDir::Read(dir.File("n.cfg")), "");
}

TEST(ConfigStoreFile, SaveFailsWhenTheFileCannotBeCreated) {
    TempDir dir;
    CConfigStore store;
    EXPECT_FALSE(store.Save(dir.File("no/such/folder/s.cfg"), ""));
}

TEST(ConfigStoreFile, RoundTripKeepsOrdinaryEntriesAndLosesTheListedCases) {
    TempDir dir;
    CConfigStore store;
    store.Set("plain", "value with spaces inside");
    store.Set("", "empty key");
    store.Set(" padded ", "\tvalue ");
    store.Set("#hash", "gone");
    store.Set("a=b", "c");
    store.Set("multi", "one\ntwo");
    ASSERT_TRUE(store.Save(dir.File("r.cfg"), CConfigStore::kSettingsHeader));

    CConfigStore back;
    ASSERT_TRUE(back.Load(dir.File("r.cfg")));
    EXPECT_EQ(back.Get("plain"), "value with spaces inside");
    EXPECT_EQ(back.Get(""), "empty key");
    // Surrounding blanks are trimmed away.
    EXPECT_EQ(back.Get("padded"), "value");
    // A key starting with "#" comes back as a comment.
    EXPECT_EQ(back.Entries().count("#hash"), 0u);
    // A key holding "=" is split there.
    EXPECT_EQ(back.Get("a"), "b = c");
    // A value with a line break comes back as two entries.
    EXPECT_EQ(back.Get("multi"), "one");
    EXPECT_EQ(back.Entries().count("two"), 1u);
}

TEST(ConfigStoreFile, LoadAcceptsCrLfFiles) {
    TempDir dir;
    TempDir::Write(dir.File("w.cfg"), "# header\r\n\r\nA = 1\r\nB = two words\r\n");
    CConfigStore store;
    ASSERT_TRUE(store.Load(dir.File("w.cfg")));
    EXPECT_EQ(store.Get("A"), "1");
    EXPECT_EQ(store.Get("B"), "two words");
    EXPECT_EQ(store.Entries().size(), 2u);
}

TEST(BooleanWords, TrueYesAndOneInAnyCase) {
    for (const char* word : {"true", "TRUE", "Yes", "YES", "1"}) EXPECT_TRUE(IsTrueWord(word));
    for (const char* word : {"", "0", "no", "on", "true ", "11"}) EXPECT_FALSE(IsTrueWord(word));
}

}  // namespace
