// The relation manager: set-up, each table visited once per pass, relations
// attached once and released once.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "classlib/fixtures.h"
#include "classlib/table_relations.h"

namespace testsupport {
namespace {

using classlib::RelationNoAction;
using classlib::RelationRestrict;
using classlib::ResultOk;
using classlib::TableManager;
using classlib::TableRelations;

// A relation manager whose relations come from the test, counting attaches.
class TestRelations : public TableRelations {
 public:
  void AttachRelations() override {
    ++attaches;
    if (define) define(*this);
  }
  std::function<void(TestRelations&)> define;
  int attaches = 0;
};

// One table of the graph: declaration, lazily opening manager, relation manager.
struct Node {
  std::unique_ptr<TestTable> table;
  TableManager manager;
  TestRelations relations;
};

// P is the parent of C1 and C2; C1 is the parent of G. Every relation is
// registered on both sides, as the dictionary does.
class TableRelationsTest : public ClasslibTest {
 protected:
  void SetUp() override {
    ClasslibTest::SetUp();
    for (const char* name : {"P", "C1", "C2", "G"}) {
      Node& n = nodes[name];
      n.table = MakeCustomers(driverName, name);
      n.manager.SetErrorReporter(reporter);
      n.manager.Setup();
      n.relations.Setup(n.manager, true);
    }
    Rel("P").define = [this](TestRelations& r) {
      r.AddRelatedByKey(Rel("C1"), RelationRestrict, RelationRestrict, nodes["C1"].table->key(0));
      r.AddLinkByAddress(reinterpret_cast<int32_t*>(nodes["P"].table->field("CLI:ID")),
                         reinterpret_cast<int32_t*>(nodes["C1"].table->field("CLI:ID")));
      r.AddRelatedByKey(Rel("C2"), RelationNoAction, RelationNoAction, nodes["C2"].table->key(1));
      r.AddLinkFields(rt::MakeFieldRef(nodes["P"].table->field("CLI:NAME"), 19, 21),
                      rt::MakeFieldRef(nodes["C2"].table->field("CLI:NAME"), 19, 21));
    };
    Rel("C1").define = [this](TestRelations& r) {
      r.AddRelated(Rel("P"));
      r.AddRelatedByKey(Rel("G"), RelationRestrict, RelationRestrict, nodes["G"].table->key(0));
      r.AddLinkByAddress(reinterpret_cast<int32_t*>(nodes["C1"].table->field("CLI:ID")),
                         reinterpret_cast<int32_t*>(nodes["G"].table->field("CLI:ID")));
    };
    Rel("C2").define = [this](TestRelations& r) { r.AddRelated(Rel("P")); };
    Rel("G").define = [this](TestRelations& r) { r.AddRelated(Rel("C1")); };
    for (auto& [name, n] : nodes) n.manager.CompleteSetup(*n.table->block, reporter);
  }
  void TearDown() override {
    for (auto& [name, n] : nodes) {
      n.relations.Teardown();
      n.manager.Teardown();
    }
    ClasslibTest::TearDown();
  }
  TestRelations& Rel(const std::string& name) { return nodes[name].relations; }
  int Count(const std::string& name) { return nodes[name].manager.opened; }
  std::vector<std::string> FileOps() {
    std::vector<std::string> ops;
    for (const std::string& s : driver->CallLog()) {
      if (s.rfind("GetProperty", 0) != 0) ops.push_back(s);
    }
    return ops;
  }

  std::map<std::string, Node> nodes;
};

TEST_F(TableRelationsTest, SetupAndRegistrationsMakeTheEntries) {
  EXPECT_EQ(Rel("P").logoutTimeout, 2);
  EXPECT_TRUE(Rel("P").useLogout);
  ASSERT_TRUE(Rel("P").relations);
  EXPECT_TRUE(Rel("P").relations->empty());  // nothing attached before the first pass
  Rel("P").EnsureRelationsAdded();
  const auto& list = *Rel("P").relations;
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].file, &Rel("C1"));
  EXPECT_EQ(list[0].updateMode, RelationRestrict);
  EXPECT_EQ(list[0].hisKey, &nodes["C1"].table->key(0));
  ASSERT_TRUE(list[0].fields);
  ASSERT_EQ(list[0].fields->size(), 1u);
  const classlib::FieldPair& byAddress = (*list[0].fields)[0];
  EXPECT_EQ(byAddress.left.type, 6);
  EXPECT_EQ(byAddress.left.size, 4u);
  EXPECT_EQ(byAddress.right.address, nodes["C1"].table->field("CLI:ID"));
  EXPECT_EQ(byAddress.value.size(), 4u);
  ASSERT_EQ(list[1].fields->size(), 1u);  // the text pair went to the latest by-key entry
  EXPECT_EQ((*list[1].fields)[0].left.type, 19);
  EXPECT_EQ((*list[1].fields)[0].value.size(), 21u);

  Rel("C1").EnsureRelationsAdded();
  const auto& child = *Rel("C1").relations;
  ASSERT_EQ(child.size(), 2u);
  EXPECT_EQ(child[0].file, &Rel("P"));
  EXPECT_FALSE(child[0].fields);
  EXPECT_EQ(child[0].hisKey, nullptr);
  EXPECT_EQ(child[0].updateMode, RelationNoAction);
}

TEST_F(TableRelationsTest, TopLevelOpenReallyOpensOnlyItsOwnTable) {
  EXPECT_EQ(Rel("P").OpenWithRelated(false), ResultOk);
  EXPECT_EQ(FileOps(), std::vector<std::string>{"Open P"});
  EXPECT_EQ(Count("P"), 1);
  EXPECT_EQ(Count("C1"), 1);
  EXPECT_EQ(Count("C2"), 1);
  EXPECT_EQ(Count("G"), 0);  // C1's relations are not attached by a nested pass
  EXPECT_EQ((*Rel("P").relations)[0].opened, 1);
  EXPECT_EQ((*Rel("P").relations)[1].opened, 1);
  EXPECT_FALSE(nodes["C1"].manager.fileOpen());

  EXPECT_EQ(Rel("P").CloseWithRelated(false), ResultOk);
  EXPECT_EQ(FileOps(), (std::vector<std::string>{"Open P", "Close P"}));
  for (const char* n : {"P", "C1", "C2", "G"}) EXPECT_EQ(Count(n), 0) << n;
  EXPECT_EQ((*Rel("P").relations)[0].opened, 0);
  EXPECT_EQ((*Rel("P").relations)[1].opened, 0);
}

TEST_F(TableRelationsTest, EachTableIsVisitedOncePerPassAndRelationsAttachOnce) {
  // C1 at top level first: its relations (to P and G) are attached.
  Rel("C1").OpenWithRelated(false);
  EXPECT_EQ(Count("C1"), 1);
  EXPECT_EQ(Count("P"), 1);
  EXPECT_EQ(Count("G"), 1);
  EXPECT_EQ(Count("C2"), 0);  // P's relations were not attached yet
  Rel("C1").CloseWithRelated(false);
  for (const char* n : {"P", "C1", "C2", "G"}) EXPECT_EQ(Count(n), 0) << n;

  // P now reaches G through C1's attached list; C1 -> P goes back to a visited table.
  driver->ClearCalls();
  Rel("P").OpenWithRelated(false);
  EXPECT_EQ(FileOps(), std::vector<std::string>{"Open P"});
  for (const char* n : {"P", "C1", "C2", "G"}) EXPECT_EQ(Count(n), 1) << n;
  EXPECT_EQ((*Rel("C1").relations)[0].opened, 0);  // P was visited already: not counted again
  EXPECT_EQ((*Rel("C1").relations)[1].opened, 1);
  Rel("P").CloseWithRelated(false);
  for (const char* n : {"P", "C1", "C2", "G"}) EXPECT_EQ(Count(n), 0) << n;

  Rel("P").OpenWithRelated(false);
  Rel("P").CloseWithRelated(false);
  EXPECT_EQ(Rel("P").attaches, 1);
  EXPECT_EQ(Rel("C1").attaches, 1);
  EXPECT_EQ(Rel("G").attaches, 0);
  EXPECT_EQ(Rel("P").relations->size(), 2u);
  EXPECT_EQ(nodes["G"].manager.keys.size(), 0u);  // a counted open registers nothing
}

TEST_F(TableRelationsTest, NestedPassReturnsAtOnceOnAVisitedTable) {
  Rel("P").OpenWithRelated(false);
  int before = Count("C1");
  EXPECT_EQ(Rel("C1").OpenWithRelated(true), ResultOk);
  EXPECT_EQ(Count("C1"), before);
  Rel("P").CloseWithRelated(false);
}

TEST_F(TableRelationsTest, NestedPassOnANonLazyManagerAttachesItsRelations) {
  nodes["C1"].manager.lazyOpen = false;
  Rel("P").OpenWithRelated(false);
  EXPECT_EQ(Rel("C1").attaches, 1);
  EXPECT_TRUE(nodes["C1"].manager.fileOpen());  // a manager that opens at once does
  EXPECT_EQ(Count("G"), 1);
  EXPECT_FALSE(Rel("C1").forcingOpen);
  Rel("P").CloseWithRelated(false);
}

TEST_F(TableRelationsTest, TeardownReleasesTheRelationsOnce) {
  Rel("P").EnsureRelationsAdded();
  Rel("P").Teardown();
  EXPECT_FALSE(Rel("P").relations);
  Rel("P").Teardown();
  // Registrations after teardown have no list to go to.
  Rel("P").AddRelated(Rel("C1"));
  EXPECT_FALSE(Rel("P").relations);
  // Linking pairs without a by-key relation go nowhere.
  TestRelations lone;
  lone.Setup(nodes["G"].manager, false);
  int a = 0, b = 0;
  lone.AddLinkByAddress(&a, &b);
  lone.AddRelated(Rel("C1"));
  lone.AddLinkByAddress(&a, &b);
  ASSERT_EQ(lone.relations->size(), 1u);
  EXPECT_FALSE((*lone.relations)[0].fields);
}

}  // namespace
}  // namespace testsupport
