// The public interface gives the programs' numbers. Each data set is read and prepared by the
// data-set layer in its program's format; each point is then triangulated twice for every key of
// the program's menu: by the per-point solver the run uses (locate, gather, symmedian start, the
// menu's solver with the programs' tolerance, judgement under the program's rules) and through
// tessmark/triangulate.hpp from the point's camera matrices and image points alone. Start, final
// point, loops and every number of the judgement must agree bit for bit. And the programs
// themselves: the built programs run on the synthetic sets with every key, and the numbers their
// reports print equal the interface's printed with the same conversions.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "dataset/data_set.hpp"
#include "dataset/point_solver.hpp"
#include "dataset/point_sources.hpp"
#include "model/point_workspace.hpp"
#include "solvers/menus.hpp"
#include "tessmark/triangulate.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/report_format.hpp"
#include "tests/tessmark/library_fixtures.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;
using testing::bits;
using testing::differences;
using testing::madeData;
using testing::realData;
using testing::ViewStorage;

struct TestSet {
  const char* name;
  Rules rules;
  DataFormat format;
  std::string (*path)();  // empty: the data set is absent, and the test skips
  int stride;             // every stride-th point is compared
};

const TestSet kDataSets[] = {
    {"SyntheticBal", Rules::vorlant, DataFormat::bal,
     [] { return madeData().path("synthetic.txt"); }, 1},
    {"SyntheticLc", Rules::sennic, DataFormat::lc, [] { return madeData().path("synthetic.lc"); },
     1},
    {"Ladybug", Rules::vorlant, DataFormat::bal, [] { return realData("problem-49-7776-pre.txt"); },
     24},
    {"Dinosaur", Rules::sennic, DataFormat::lc, [] { return realData("dinosaur.lc"); }, 16},
};

// The data set as the data-set layer prepares it for its program.
const DataSet& prepared(const TestSet& set) {
  static std::map<std::string, std::unique_ptr<DataSet>> cache;
  std::unique_ptr<DataSet>& entry = cache[set.name];
  if (!entry) entry = std::make_unique<DataSet>(loadDataSet(set.path(), set.format));
  return *entry;
}

// Point p of a BAL problem: each camera from its nine parameters by balCamera, with its pose.
ViewStorage balViews(const BalPointSource& source, int p) {
  ViewStorage storage;
  const auto i = static_cast<std::size_t>(p);
  for (int j = 0; j < source.observationIndex.viewNum[i]; ++j) {
    const int o = source.observationIndex.viewStart[i] + j;
    const int c = source.problem.observationCamera[static_cast<std::size_t>(o)];
    const auto parameters = source.problem.cameraParameters.segment<9>(9 * c);
    const BalCamera camera =
        balCamera(parameters.segment<3>(0), parameters.segment<3>(3), parameters(6));
    storage.cameras.push_back(camera.matrix);
    storage.poses.push_back(camera.pose);
    storage.observations.push_back(source.problem.observationTable.row(o).transpose());
  }
  return storage;
}

// Point i of a .lc set: the matrices as read of the cameras that see it, in camera order.
ViewStorage lcViews(const LcPointSource& source, int i) {
  ViewStorage storage;
  const double* row = source.problem.observationRow(i);
  const std::uint8_t* seen = source.visibility.visibilityRow(i);
  for (int c = 0; c < source.problem.allCameraNum; ++c) {
    if (seen[c] == 0) continue;
    storage.cameras.push_back(source.problem.cameraProjections.middleRows<3>(3 * c));
    storage.observations.emplace_back(row[2 * c], row[2 * c + 1]);
  }
  return storage;
}

ViewStorage viewsOf(const DataSet& data, int p) {
  if (const auto* bal = dynamic_cast<const BalPointSource*>(data.points.get())) {
    return balViews(*bal, p);
  }
  return lcViews(dynamic_cast<const LcPointSource&>(*data.points), p);
}

// Point p as the run does it.
PointOutcome programPoint(const DataSet& data, const MenuEntry& entry, int p) {
  PointWorkspace workspace(data.maxViewNum);
  return PointSolver(data.rules(), entry, workspace).triangulate(*data.points, p);
}

struct Case {
  const TestSet* set;
  std::size_t row;  // of the program's menu
};

std::vector<Case> everyKeyOfEveryDataSet() {
  std::vector<Case> cases;
  for (const TestSet& set : kDataSets) {
    for (std::size_t row = 0; row < kMethodKeys.size(); ++row) cases.push_back({&set, row});
  }
  return cases;
}

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.set->name << " key " << kMethodKeys[c.row];
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  return std::string(info.param.set->name) + "_key_" + std::string(kMethodKeys[info.param.row]);
}

class SameNumbersAsTheProgram : public ::testing::TestWithParam<Case> {};

TEST_P(SameNumbersAsTheProgram, ForEveryComparedPoint) {
  const TestSet& set = *GetParam().set;
  if (set.path().empty()) GTEST_SKIP() << set.name << " is not in TESSMARK_DATA_DIR";
  const DataSet& data = prepared(set);
  const MenuEntry& entry = data.rules().menu[GetParam().row];
  const Method method = Method::fromKey(set.rules, kMethodKeys[GetParam().row]);
  ASSERT_EQ(method.name(), entry.selectedName);

  Triangulator triangulator;
  int compared = 0;
  int differing = 0;
  for (int p = 0; p < data.pointNum; p += set.stride) {
    const ViewStorage views = viewsOf(data, p);
    const PointOutcome expected = programPoint(data, entry, p);
    ASSERT_EQ(static_cast<int>(views.cameras.size()), expected.viewCount) << "point " << p;
    if (expected.viewCount == 0) {
      EXPECT_THROW(triangulator.triangulate(views.views(), method), TriangulationError);
      continue;
    }
    const std::string difference =
        differences(expected, triangulator.triangulate(views.views(), method));
    ++compared;
    if (!difference.empty() && ++differing <= 5) {
      ADD_FAILURE() << "point " << p << " (" << expected.viewCount << " views): " << difference;
    }
  }
  EXPECT_EQ(differing, 0) << "of " << compared << " points";
  EXPECT_GE(compared, 40);
}

INSTANTIATE_TEST_SUITE_P(DataSets, SameNumbersAsTheProgram,
                         ::testing::ValuesIn(everyKeyOfEveryDataSet()), caseName);

// What the program prints for a value under a report's conversion, read back; NaN for any NaN.
double printed(const char* conversion, double value) {
  char text[64];
  std::snprintf(text, sizeof text, conversion, value);
  return testing::fieldValue(text);
}

bool samePrinted(double reported, const char* conversion, double value) {
  const double expected = printed(conversion, value);
  return std::isnan(reported) ? std::isnan(expected) : bits(reported) == bits(expected);
}

class SameNumbersAsTheReports : public ::testing::TestWithParam<Case> {};

// Both programs print x_m with %.12lf, x_f with %.15lf, R.E. and K_LC with %.6e beside the labels
// in the results file, and every diagnostic again in the summary file's time table.
TEST_P(SameNumbersAsTheReports, ForEveryPoint) {
  const TestSet& set = *GetParam().set;
  const bool vorlant = set.rules == Rules::vorlant;
  const std::string_view key = kMethodKeys[GetParam().row];
  const Method method = Method::fromKey(set.rules, key);
  const testing::TemporaryFolder folder;
  const testing::ChildResult run = testing::runChild(
      {vorlant ? TESSMARK_VORLANT : TESSMARK_SENNIC,
       {"--data", set.path(), "--algorithm", key == "other" ? "x" : std::string(key),
        "--output-dir", folder.path().string()},
       folder.path()});
  ASSERT_TRUE(run.exited && run.status == 0) << run.err;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder.path())) files.push_back(entry.path());
  std::sort(files.begin(), files.end());  // "..._Results..." before "..._Summary..."
  ASSERT_EQ(files.size(), 2u);
  testing::ResultsReport results;
  testing::SummaryReport summary;
  const std::string resultsText = testing::readFile(files[0]);
  const std::string summaryText = testing::readFile(files[1]);
  ASSERT_EQ(vorlant ? testing::parseResultsReport(resultsText, results)
                    : testing::parseSennicResultsReport(resultsText, results),
            "");
  ASSERT_EQ(vorlant ? testing::parseSummaryReport(summaryText, summary)
                    : testing::parseSennicSummaryReport(summaryText, summary),
            "");
  EXPECT_EQ(results.algorithmName, method.name());

  const DataSet& data = prepared(set);
  ASSERT_EQ(static_cast<int>(results.points.size()), data.pointNum);
  ASSERT_EQ(static_cast<int>(summary.rows.size()), data.pointNum);
  Triangulator triangulator;
  int differing = 0;
  for (int p = 0; p < data.pointNum; ++p) {
    const auto i = static_cast<std::size_t>(p);
    const Triangulation t = triangulator.triangulate(viewsOf(data, p).views(), method);
    const testing::PointRecord& record = results.points[i];
    const testing::SummaryRow& row = summary.rows[i];
    std::ostringstream out;
    out.precision(17);
    auto check = [&](const char* name, double reported, const char* conversion, double value) {
      if (!samePrinted(reported, conversion, value)) {
        out << name << " " << reported << " vs " << printed(conversion, value) << "; ";
      }
    };
    for (int k = 0; k < 3; ++k) {
      check("x_m", record.x_m[k], "%.12f", t.start(k));
      check("x_f", record.x_f[k], "%.15f", t.point(k));
    }
    if (record.loops != t.loops || row.loops != t.loops) out << "loops; ";
    check("R.E.(0)", record.reprojError_m, "%.6e", t.reprojError_m);
    check("K.lc(0)", record.klc_m, "%.6e", t.klc_m);
    check("R.E.(f)", record.reprojError_f, "%.6e", t.reprojError_f);
    check("K.lc(f)", record.klc_f, "%.6e", t.klc_f);
    check("table R.E.(f)", row.reprojError_f, "%.18f", t.reprojError_f);
    check("table K.lc(f)", row.klc_f, "%.18e", t.klc_f);
    check("table R.E.(0)", row.reprojError_m, "%.10f", t.reprojError_m);
    check("table K.lc(0)", row.klc_m, "%.10e", t.klc_m);
    check("rho_f", row.rho_f, "%f", t.rho_f);
    check("gamma_f", row.gamma_f, "%f", t.gamma_f);
    check("rho_m", row.rho_m, "%f", t.rho_m);
    check("gamma_m", row.gamma_m, "%f", t.gamma_m);
    if (record.solvable != (t.solvable ? "Solvable" : "Hard case")) out << "solvable; ";
    if (record.global != (t.global ? "Global" : "Local")) out << "global; ";
    if (!out.str().empty() && ++differing <= 5) {
      ADD_FAILURE() << "point " << p + 1 << ": " << out.str();
    }
  }
  EXPECT_EQ(differing, 0) << "of " << data.pointNum << " points";
}

std::vector<Case> everyKeyOfTheSyntheticSets() {
  std::vector<Case> cases;
  for (const Case& c : everyKeyOfEveryDataSet()) {
    if (c.set->stride == 1) cases.push_back(c);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(SyntheticSets, SameNumbersAsTheReports,
                         ::testing::ValuesIn(everyKeyOfTheSyntheticSets()), caseName);

// Without the BAL poses the interface derives them from P as the .lc reader does: K' = diag(f, f,
// 1) and R' = diag(-1, -1, 1) R instead of K = diag(-f, -f, 1) and R. The rays are the same, so the
// start differs from the large-data program's by rounding only, as the header says.
TEST(DerivedPoses, GiveTheLargeDataProgramsStartUpToRounding) {
  const TestSet& set = kDataSets[0];
  const DataSet& data = prepared(set);
  const Method method = Method::fromKey(Rules::vorlant, "0");
  Triangulator triangulator;
  for (int p = 0; p < data.pointNum; ++p) {
    ViewStorage views = viewsOf(data, p);
    const Triangulation given = triangulator.triangulate(views.views(), method);
    views.poses.clear();
    const Triangulation derived = triangulator.triangulate(views.views(), method);
    EXPECT_LT((derived.start - given.start).norm(), 1e-9 * (1.0 + given.start.norm()))
        << "point " << p;
  }
}

}  // namespace
}  // namespace tessmark
