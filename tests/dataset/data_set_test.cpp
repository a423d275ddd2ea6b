// The format table and its loader: every row's steps end in a point source, the observer hears
// every phase boundary in order (the programs print their console lines there), and a refused file
// ends the sequence where the fault is.
#include "dataset/data_set.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_error.hpp"
#include "model/point_workspace.hpp"

namespace tessmark {
namespace {

// What a load tells its observer, one line per call.
class Recorder : public LoadObserver {
 public:
  void opening() override { events.push_back("opening"); }
  void checkingFormat() override { events.push_back("checkingFormat"); }
  void counted(const DataCounts& c) override {
    events.push_back("counted " + std::to_string(c.cameraNum) + " " + std::to_string(c.pointNum) +
                     " " + std::to_string(c.imageCoordinates));
  }
  void recordsRead() override { events.push_back("recordsRead"); }
  void indexing() override { events.push_back("indexing"); }
  void indexed() override { events.push_back("indexed"); }
  void pretreating() override { events.push_back("pretreating"); }
  void rankDeficientCamera(int camera) override {
    events.push_back("rankDeficientCamera " + std::to_string(camera));
  }
  void pretreated(int maxViewNum) override {
    events.push_back("pretreated " + std::to_string(maxViewNum));
  }
  std::vector<std::string> events;
};

// Two BAL cameras (nine parameter lines each) seeing one point.
const std::string kBalRecords =
    "0 0 10.0 20.0\n1 0 11.0 21.0\n"
    "0\n0\n0\n0\n0\n-5\n500\n0\n0\n"
    "0.1\n0\n0\n0.5\n0\n-5\n500\n0\n0\n";
// Two .lc cameras, the second no perspective camera (zero third row on the left), and one point
// that both see.
const std::string kLcText =
    "Tessmark_lc_data!\n2\n1\n"
    "500 0 0 0 0 500 0 0 0 0 1 5\n"
    "500 0 0 0 0 500 0 0 0 0 0 1\n"
    "10 20 11 21\n";

TEST(LoadDataSet, EveryFormatTellsTheObserverEveryPhaseInOrder) {
  struct Case {
    const char* name;
    DataFormat format;
    std::string text;
    int imageCoordinates;
    std::vector<int> rankDeficient;
  };
  const Case cases[] = {
      {"bal", DataFormat::bal, "Rome_is_not_built_in_one_day!\n2 1 2\n" + kBalRecords, 2, {}},
      {"plain BAL", DataFormat::plainBal, "2 1 2\n" + kBalRecords, 2, {}},
      {"plain BAL with the header ID",
       DataFormat::plainBal,
       "Rome_is_not_built_in_one_day!\n2 1 2\n" + kBalRecords,
       2,
       {}},
      {"plain BAL with a blank line after the counts and a record over two lines",
       DataFormat::plainBal,
       "2 1 2\n\n0 0 10.0\n20.0" + kBalRecords.substr(std::string("0 0 10.0 20.0").size()),
       2,
       {}},
      {"lc", DataFormat::lc, kLcText, 0, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextFile file = TextFile::fromText("set", c.text);
    Recorder recorder;
    const DataSet data = loadDataSet(file, c.format, &recorder);
    std::vector<std::string> expected = {
        "checkingFormat", "counted 2 1 " + std::to_string(c.imageCoordinates),
        "recordsRead",    "indexing",
        "indexed",        "pretreating"};
    for (const int camera : c.rankDeficient) {
      expected.push_back("rankDeficientCamera " + std::to_string(camera));
    }
    expected.push_back("pretreated 2");
    EXPECT_EQ(recorder.events, expected);

    EXPECT_EQ(data.format, &describe(c.format));
    EXPECT_EQ(&data.rules(), &describe(c.format).rules());
    EXPECT_EQ(data.cameraNum, 2);
    EXPECT_EQ(data.pointNum, 1);
    EXPECT_EQ(data.imageCoordinates, c.imageCoordinates);
    EXPECT_EQ(data.viewNum, std::vector<int>{2});
    EXPECT_EQ(data.maxViewNum, 2);
    EXPECT_EQ(data.rankDeficientCameras, c.rankDeficient);
    PointWorkspace workspace(data.maxViewNum);
    const int n = data.points->locate(0, workspace);
    ASSERT_EQ(n, 2);
    data.points->gather(0, n, workspace);
    EXPECT_EQ(workspace.views[1].observation, Eigen::Vector2d(11.0, 21.0));
  }
}

TEST(LoadDataSet, ARefusedFileEndsThePhasesWhereTheFaultIs) {
  struct Case {
    const char* name;
    DataFormat format;
    std::string text;
    std::vector<std::string> events;
    InputError::Kind kind;
    int line;
  };
  const Case cases[] = {
      {"wrong header",
       DataFormat::bal,
       "2 1 2\n" + kBalRecords,
       {"checkingFormat"},
       InputError::Kind::wrongHeader,
       1},
      {"short observation line",
       DataFormat::plainBal,
       "2 1 2\n0 0 10.0\n",
       {"checkingFormat", "counted 2 1 2"},
       InputError::Kind::malformed,
       2},
      {"file shorter than its counts",
       DataFormat::lc,
       "Tessmark_lc_data!\n2\n1\n",
       {"checkingFormat", "counted 2 1 0"},
       InputError::Kind::malformed,
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextFile file = TextFile::fromText("set", c.text);
    Recorder recorder;
    try {
      loadDataSet(file, c.format, &recorder);
      ADD_FAILURE() << "loaded";
    } catch (const InputError& error) {
      EXPECT_EQ(error.kind, c.kind);
      EXPECT_EQ(error.line, c.line) << error.what();
    }
    EXPECT_EQ(recorder.events, c.events);
  }

  Recorder recorder;
  try {
    loadDataSet("/nonexistent/set.lc", DataFormat::lc, &recorder);
    ADD_FAILURE() << "loaded";
  } catch (const InputError& error) {
    EXPECT_EQ(error.kind, InputError::Kind::cannotOpen);
  }
  EXPECT_EQ(recorder.events, std::vector<std::string>{"opening"});
}

TEST(FormatTable, OneRowPerFormatAndTheFormatANameSuggests) {
  for (const DataFormatDescription& row : dataFormats()) {
    EXPECT_EQ(&describe(row.format), &row) << row.name;
    EXPECT_FALSE(row.headerIds.empty()) << row.name;
  }
  EXPECT_EQ(&describe(DataFormat::lc).rules(), &sennicSolvers());
  EXPECT_EQ(&describe(DataFormat::bal).rules(), &vorlantSolvers());
  EXPECT_EQ(&describe(DataFormat::plainBal).rules(), &vorlantSolvers());
  EXPECT_FALSE(describe(DataFormat::bal).readsCompressed);
  EXPECT_TRUE(describe(DataFormat::plainBal).readsCompressed);
  EXPECT_FALSE(describe(DataFormat::plainBal).headerRequired);

  struct Case {
    const char* name;
    DataFormat format;
  };
  const Case cases[] = {
      {"dinosaur.lc", DataFormat::lc},       {"dinosaur.lc.bz2", DataFormat::lc},
      {"problem.txt", DataFormat::plainBal}, {"problem.txt.bz2", DataFormat::plainBal},
      {"lc", DataFormat::plainBal},          {"set.lcx", DataFormat::plainBal}};
  for (const Case& c : cases) EXPECT_EQ(formatOfName(c.name), c.format) << c.name;
}

}  // namespace
}  // namespace tessmark
