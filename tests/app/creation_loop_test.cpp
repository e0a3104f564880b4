// The creation loop over a scripted driver: the step at which each table's
// relations are attached, and the tables two relations away that a step reaches
// without opening them.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/create_schema.h"
#include "dictionary/dictionary.h"
#include "runtime/base/program.h"
#include "support/fake_ui.h"
#include "support/program_state.h"
#include "support/test_driver.h"

namespace {

using testsupport::DriverOp;

TEST(CreationLoop, EachTablesRelationsAreAttachedAtItsOwnStep) {
  // Steps of the creation list, counted from 1.
  const std::map<std::string, int> attachedAt = {
      {"HDSCRAP", 1},      {"ACCESORIOS", 28},       {"CTRSCRAP", 42}, {"ORP_CONSUMO", 55}, {"DTSCRAP", 95},
      {"ENTRADEQ", 181},   {"ENTRADSM", 183},        {"ENTRADAS", 195}, {"REFERENCIAS", 196},
      {"SALIDAS", 199},    {"MERCANCIAS", 202},      {"ANE_FACT", 245}, {"PAI_DET", 252}, {"DTADIC", 262},
      {"REFERESM", 273},   {"REFEREEQ", 274},        {"REFEDEF", 275}, {"SALIDADE", 295}, {"SALIDASM", 296},
      {"SALIDAEQ", 298},   {"ADIC_MERCANCIAS", 327},
  };
  if (rt::CurrentThreadNumber() == 0) rt::RuntimeStart({});
  // The program's drivers registered again at the end, over the scripted one.
  testsupport::ProgramState program(
      {.drivers = true, .dictionary = true, .halt = testsupport::Halt::kAsIs, .windowLayer = true});
  auto sql = testsupport::InstallScriptedDriver("MSSQL");

  // Before each step's own open: the tables whose relations are attached so far.
  auto attached = [] {
    std::set<std::string> out;
    for (const auto& t : dict::Tables())
      if (dict::TableRelationsRef(t.decl.label)->deferedRelationsDone) out.insert(t.decl.label);
    return out;
  };
  std::vector<std::string> opened;
  std::vector<std::set<std::string>> before;
  sql->SetHook(DriverOp::Open, [&](rt::FileBlock& f, const rt::KeyDescriptor*) {
    opened.push_back(f.decl().label);
    before.push_back(attached());
    return -1;
  });
  testsupport::FakeWindowLayer& ui = program.ui();
  auto progress = ui.BuildWindow("Ortavia$Ortav004", app::kProgressLabel, {}, false);
  app::CreateTablesLoop(*progress);
  before.push_back(attached());

  // One open per step, each table by its own step only.
  const auto list = dict::CreationList();
  ASSERT_EQ(opened.size(), list.size());
  for (size_t i = 0; i < list.size(); ++i) ASSERT_EQ(opened[i], list[i].label) << "step " << i + 1;
  std::map<std::string, int> got;
  for (size_t step = 1; step < before.size(); ++step)
    for (const std::string& t : before[step])
      if (!before[step - 1].count(t)) got[t] = static_cast<int>(step);
  std::map<std::string, int> withRelations;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string label(list[i].label);
    EXPECT_EQ(got[label], static_cast<int>(i + 1)) << label;
    if (!list[i].relations->relations->empty()) withRelations[label] = got[label];
  }
  EXPECT_EQ(withRelations, attachedAt);
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
