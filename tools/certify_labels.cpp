// Measures the Global / Local labels of every solver against the certified truth: loads a BAL
// problem or a .lc set, triangulates every point with each chosen solver under each chosen rule
// set (the library, tessmark/triangulate.hpp), certifies each final point (certify/certify.hpp)
// and prints, per solver, the verdicts, the points left undecided and the Global label's precision
// and recall:
//   precision = Global labels whose final point is certified / Global labels with a verdict
//   recall    = certified final points labelled Global / certified final points
// A final point that is beaten or not in front of every camera is not at the global minimum.
//
//   certify_labels DATA [--format bal|lc] [--rules vorlant|sennic|both] [--keys KEYS]
//                  [--threads N] [--csv FILE] [--show POINT]... [--max-boxes N] [--only POINT]
//                  [--markdown NAME]
//
// --markdown prints, instead of the plain table, one Markdown table row per rule set and key
// (NAME, the rules, the key, the points, the four verdicts, the Global labels, precision, recall
// and the undecided points), the rows of scripts/certify_table.sh.
//
// Points are numbered from 0 in the output (the programs' reports number them from 1). Front sides:
// a BAL camera's by the format's convention, a .lc camera's by the majority of the starts of the
// points it sees (certify/front_side.hpp).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <Eigen/Core>

#include "certify/certify.hpp"
#include "certify/front_side.hpp"
#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"
#include "input/input_error.hpp"
#include "input/lc_problem.hpp"
#include "input/text_file.hpp"
#include "solvers/menus.hpp"
#include "tessmark/triangulate.hpp"

namespace {

using Matrix34 = Eigen::Matrix<double, 3, 4>;

struct DataSet {
  bool bal = false;
  std::vector<Matrix34> cameras;
  std::vector<tessmark::CameraPose> poses;  // BAL: as vorlant prepares them
  std::vector<std::vector<int>> pointCameras;
  std::vector<std::vector<Eigen::Vector2d>> pointObservations;
  std::vector<int> sides;  // per camera
};

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

DataSet loadBal(const std::string& path) {
  tessmark::TextFile file = tessmark::TextFile::open(path);
  const tessmark::BalCounts counts = tessmark::readBalCountsAfterOptionalHeader(file);
  tessmark::BalProblem problem = tessmark::readBalRecords(file, counts);
  const tessmark::ObservationIndex index = tessmark::indexObservations(problem);
  DataSet data;
  data.bal = true;
  for (int c = 0; c < problem.cameraNum; ++c) {
    const Eigen::VectorXd& q = problem.cameraParameters;
    const tessmark::BalCamera camera =
        tessmark::balCamera(q.segment<3>(9 * c), q.segment<3>(9 * c + 3), q(9 * c + 6));
    data.cameras.push_back(camera.matrix);
    data.poses.push_back(camera.pose);
  }
  data.pointCameras.resize(static_cast<std::size_t>(problem.pointNum));
  data.pointObservations.resize(static_cast<std::size_t>(problem.pointNum));
  for (int p = 0; p < problem.pointNum; ++p) {
    const std::size_t pu = static_cast<std::size_t>(p);
    for (int j = 0; j < index.viewNum[pu]; ++j) {
      const int o = index.viewStart[pu] + j;
      data.pointCameras[pu].push_back(problem.observationCamera[static_cast<std::size_t>(o)]);
      data.pointObservations[pu].emplace_back(problem.observationTable(o, 0),
                                              problem.observationTable(o, 1));
    }
  }
  data.sides.assign(data.cameras.size(), tessmark::certify::kBalFrontSide);
  return data;
}

DataSet loadLc(const std::string& path) {
  tessmark::TextFile file = tessmark::TextFile::open(path);
  tessmark::checkLcHeader(file);
  const tessmark::LcCounts counts = tessmark::readLcCounts(file);
  const tessmark::LcProblem problem = tessmark::readLcRecords(file, counts);
  DataSet data;
  for (int c = 0; c < problem.allCameraNum; ++c)
    data.cameras.push_back(problem.cameraProjections.block<3, 4>(3 * c, 0));
  data.pointCameras.resize(static_cast<std::size_t>(problem.pointNum));
  data.pointObservations.resize(static_cast<std::size_t>(problem.pointNum));
  for (int p = 0; p < problem.pointNum; ++p) {
    const double* row = problem.observationRow(p);
    for (int c = 0; c < problem.allCameraNum; ++c) {
      if (row[2 * c] == tessmark::kMissingView) continue;
      data.pointCameras[static_cast<std::size_t>(p)].push_back(c);
      data.pointObservations[static_cast<std::size_t>(p)].emplace_back(row[2 * c], row[2 * c + 1]);
    }
  }
  return data;
}

struct PointViewsStorage {
  std::vector<Matrix34> cameras;
  std::vector<Eigen::Vector2d> observations;
  std::vector<tessmark::CameraPose> poses;
  std::vector<int> sides;

  void gather(const DataSet& data, std::size_t p) {
    cameras.clear();
    poses.clear();
    sides.clear();
    for (int c : data.pointCameras[p]) {
      const std::size_t cu = static_cast<std::size_t>(c);
      cameras.push_back(data.cameras[cu]);
      if (data.bal) poses.push_back(data.poses[cu]);
      if (!data.sides.empty()) sides.push_back(data.sides[cu]);
    }
    observations = data.pointObservations[p];
  }
};

struct PointResult {
  bool solved = false;  // the point has a view
  bool global = false;
  tessmark::certify::Certificate certificate;
  double solveSeconds = 0;
  double certifySeconds = 0;
};

const char* verdictName(tessmark::certify::Verdict v) {
  switch (v) {
    case tessmark::certify::Verdict::certified:
      return "certified";
    case tessmark::certify::Verdict::beaten:
      return "beaten";
    case tessmark::certify::Verdict::notInFront:
      return "not-in-front";
    case tessmark::certify::Verdict::undecided:
      return "undecided";
  }
  return "?";
}

const char* infimumName(tessmark::certify::Infimum i) {
  switch (i) {
    case tessmark::certify::Infimum::finite:
      return "finite";
    case tessmark::certify::Infimum::atInfinity:
      return "infinity";
    case tessmark::certify::Infimum::atCameraCentre:
      return "centre";
    case tessmark::certify::Infimum::none:
      return "none";
  }
  return "?";
}

template <class Work>
void inParallel(std::size_t count, int threads, Work work) {
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> pool;
  for (int k = 0; k < threads; ++k)
    pool.emplace_back([&, k] {
      auto state = work.makeState();
      for (std::size_t i = next++; i < count; i = next++) work(state, i);
      (void)k;
    });
  for (std::thread& t : pool) t.join();
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string path, format, rulesChoice = "both", keys = tessmark::allMenuKeys(), csvPath;
  int threads = 2;
  int maxBoxes = tessmark::certify::Options{}.maxBoxes;
  std::vector<std::size_t> shown;
  long only = -1;        // certify this point alone
  std::string markdown;  // the data set's name in Markdown rows
  // A number that does not parse is a wrong command line, not a crash.
  auto number = [](const std::string& text, auto parse) {
    try {
      std::size_t used = 0;
      const auto result = parse(text, &used);
      if (used == text.size()) return result;
    } catch (const std::exception&) {
    }
    std::fprintf(stderr, "certify_labels: %s is no number\n", text.c_str());
    std::exit(2);
  };
  auto integer = [&](const std::string& text) {
    return number(text, [](const std::string& t, std::size_t* used) { return std::stoi(t, used); });
  };
  auto index = [&](const std::string& text) {
    return number(text,
                  [](const std::string& t, std::size_t* used) { return std::stoul(t, used); });
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "certify_labels: %s needs a value\n", argv[i]);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--format")
      format = value();
    else if (a == "--rules")
      rulesChoice = value();
    else if (a == "--keys")
      keys = value();
    else if (a == "--threads")
      threads = std::max(1, integer(value()));
    else if (a == "--csv")
      csvPath = value();
    else if (a == "--show")
      shown.push_back(static_cast<std::size_t>(index(value())));
    else if (a == "--max-boxes")
      maxBoxes = integer(value());
    else if (a == "--only")
      only = static_cast<long>(index(value()));
    else if (a == "--markdown")
      markdown = value();
    else if (a.starts_with("--")) {
      std::fprintf(stderr,
                   "usage: certify_labels DATA [--format bal|lc] [--rules vorlant|sennic|both] "
                   "[--keys KEYS] [--threads N] [--csv FILE] [--show POINT]... [--max-boxes N] "
                   "[--only POINT] [--markdown NAME]\n");
      return 2;
    } else
      path = a;
  }
  if (path.empty()) {
    std::fprintf(stderr, "certify_labels: no data file\n");
    return 2;
  }
  if (format.empty()) format = endsWith(path, ".lc") ? "lc" : "bal";
  std::string keyProblem;
  const std::optional<std::vector<std::size_t>> keyRows =
      tessmark::menuRowsOfKeys(keys, keyProblem);
  if (!keyRows) {
    std::fprintf(stderr, "certify_labels: --keys: %s\n", keyProblem.c_str());
    return 2;
  }

  DataSet data;
  try {
    data = format == "lc" ? loadLc(path) : loadBal(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "certify_labels: %s\n", e.what());
    return 128;
  }
  const std::size_t pointCount = data.pointCameras.size();

  // Front sides of a .lc set: the majority of the starts of the points each camera sees.
  if (data.sides.empty()) {
    tessmark::certify::FrontSideVote vote(data.cameras.size());
    tessmark::Triangulator triangulator;
    PointViewsStorage storage;
    const auto method = tessmark::Method::fromKey(tessmark::Rules::sennic, "0");
    for (std::size_t p = 0; p < pointCount; ++p) {
      storage.gather(data, p);
      if (storage.cameras.empty()) continue;
      const tessmark::Triangulation t =
          triangulator.triangulate({storage.cameras, storage.observations, storage.poses}, method);
      for (std::size_t j = 0; j < storage.cameras.size(); ++j)
        vote.add(static_cast<std::size_t>(data.pointCameras[p][j]), storage.cameras[j], t.start);
    }
    data.sides = vote.sides();
    int negative = 0;
    for (int s : data.sides) negative += s < 0;
    if (markdown.empty())
      std::printf("front sides by majority: %d of %zu cameras look down -p3\n", negative,
                  data.sides.size());
  }

  std::FILE* csv = nullptr;
  if (!csvPath.empty()) {
    csv = std::fopen(csvPath.c_str(), "w");
    if (csv == nullptr) {
      std::fprintf(stderr, "certify_labels: cannot write %s\n", csvPath.c_str());
      return 3;
    }
    std::fprintf(csv,
                 "rules,key,point,views,global,verdict,view,candidate_cost,lower_bound,upper_bound,"
                 "best_cost,infimum,centre_view,boxes,solve_seconds,certify_seconds\n");
  }

  std::vector<tessmark::Rules> ruleSets;
  if (rulesChoice != "sennic") ruleSets.push_back(tessmark::Rules::vorlant);
  if (rulesChoice != "vorlant") ruleSets.push_back(tessmark::Rules::sennic);

  if (markdown.empty())
    std::printf("%-8s %-3s %7s %9s %7s %8s %9s %7s %7s %9s %9s %8s %8s\n", "rules", "key", "points",
                "certified", "beaten", "behind", "undecided", "Global", "G&cert", "precision",
                "recall", "solve_s", "cert_s");
  std::vector<PointResult> results(pointCount);
  for (tessmark::Rules rules : ruleSets) {
    for (const std::size_t row : *keyRows) {
      const std::string key(tessmark::kMenuKeys[row]);
      const tessmark::Method method = tessmark::Method::fromKey(rules, key);
      struct Work {
        const DataSet& data;
        const tessmark::Method& method;
        std::vector<PointResult>& results;
        tessmark::certify::Options options;
        long only;
        struct State {
          tessmark::Triangulator triangulator;
          tessmark::certify::Certifier certifier;
          PointViewsStorage storage;
        };
        State makeState() const {
          return State{tessmark::Triangulator{}, tessmark::certify::Certifier{options}, {}};
        }
        void operator()(State& s, std::size_t p) const {
          PointResult& r = results[p];
          s.storage.gather(data, p);
          r = PointResult{};
          if (s.storage.cameras.empty() || (only >= 0 && p != static_cast<std::size_t>(only)))
            return;
          const auto t0 = std::chrono::steady_clock::now();
          const tessmark::Triangulation t = s.triangulator.triangulate(
              {s.storage.cameras, s.storage.observations, s.storage.poses}, method);
          const auto t1 = std::chrono::steady_clock::now();
          r.certificate = s.certifier.certify(
              {s.storage.cameras, s.storage.observations, s.storage.sides}, t.point);
          const auto t2 = std::chrono::steady_clock::now();
          r.solved = true;
          r.global = t.global;
          r.solveSeconds = seconds(t0, t1);
          r.certifySeconds = seconds(t1, t2);
        }
      };
      tessmark::certify::Options options;
      options.maxBoxes = maxBoxes;
      const auto start = std::chrono::steady_clock::now();
      inParallel(pointCount, threads, Work{data, method, results, options, only});
      const double wall = seconds(start, std::chrono::steady_clock::now());

      std::size_t points = 0, certified = 0, beaten = 0, behind = 0, undecided = 0, global = 0,
                  globalCertified = 0, globalDecided = 0;
      double solveSeconds = 0, certifySeconds = 0;
      std::vector<std::size_t> undecidedPoints;
      for (std::size_t p = 0; p < pointCount; ++p) {
        const PointResult& r = results[p];
        if (!r.solved) continue;
        ++points;
        solveSeconds += r.solveSeconds;
        certifySeconds += r.certifySeconds;
        const auto v = r.certificate.verdict;
        certified += v == tessmark::certify::Verdict::certified;
        beaten += v == tessmark::certify::Verdict::beaten;
        behind += v == tessmark::certify::Verdict::notInFront;
        if (v == tessmark::certify::Verdict::undecided) {
          ++undecided;
          undecidedPoints.push_back(p);
        }
        global += r.global;
        if (r.global && v != tessmark::certify::Verdict::undecided) ++globalDecided;
        globalCertified += r.global && v == tessmark::certify::Verdict::certified;
        if (csv != nullptr) {
          const auto& c = r.certificate;
          std::fprintf(csv, "%s,%s,%zu,%zu,%s,%s,%d,%.17g,%.17g,%.17g,%.17g,%s,%d,%d,%.3e,%.3e\n",
                       rules == tessmark::Rules::vorlant ? "vorlant" : "sennic", key.c_str(), p,
                       data.pointCameras[p].size(), r.global ? "true" : "false", verdictName(v),
                       c.view, c.candidateCost, c.lowerBound, c.upperBound, c.bestCost,
                       infimumName(c.infimum), c.centreView, c.boxes, r.solveSeconds,
                       r.certifySeconds);
        }
      }
      const double precision = globalDecided > 0 ? double(globalCertified) / globalDecided : 1.0;
      const double recall = certified > 0 ? double(globalCertified) / certified : 1.0;
      if (!markdown.empty()) {
        auto ratio = [](std::size_t part, std::size_t whole) {
          char text[32] = "-";
          if (whole > 0) std::snprintf(text, sizeof text, "%.4f", double(part) / double(whole));
          return std::string(text);
        };
        std::string list;
        for (std::size_t p : undecidedPoints) {
          if (!list.empty()) list += ' ';
          list += std::to_string(p);
        }
        std::printf("| %s | %s | %s | %zu | %zu | %zu | %zu | %zu | %zu | %s | %s | %s |\n",
                    markdown.c_str(), rules == tessmark::Rules::vorlant ? "vorlant" : "sennic",
                    key.c_str(), points, certified, beaten, behind, undecided, global,
                    ratio(globalCertified, globalDecided).c_str(),
                    ratio(globalCertified, certified).c_str(), list.c_str());
        std::fflush(stdout);
        continue;
      }
      std::printf(
          "%-8s %-3s %7zu %9zu %7zu %8zu %9zu %7zu %7zu %9.5f %9.5f %8.3f %8.3f  (wall %.2f s)\n",
          rules == tessmark::Rules::vorlant ? "vorlant" : "sennic", key.c_str(), points, certified,
          beaten, behind, undecided, global, globalCertified, precision, recall, solveSeconds,
          certifySeconds, wall);
      if (!undecidedPoints.empty()) {
        std::printf("  undecided:");
        for (std::size_t p : undecidedPoints) std::printf(" %zu", p);
        std::printf("\n");
      }
      for (std::size_t p : shown) {
        if (p >= pointCount || !results[p].solved) continue;
        const auto& c = results[p].certificate;
        std::printf(
            "  point %zu: %zu views, %s, %s (view %d), candidate %.10g, bounds [%.10g, %.10g], "
            "best %.10g at (%.6g, %.6g, %.6g), infimum %s %d, %d boxes\n",
            p, data.pointCameras[p].size(), results[p].global ? "Global" : "Local",
            verdictName(c.verdict), c.view, c.candidateCost, c.lowerBound, c.upperBound, c.bestCost,
            c.best(0), c.best(1), c.best(2), infimumName(c.infimum), c.centreView, c.boxes);
      }
      std::fflush(stdout);
    }
  }
  if (csv != nullptr) std::fclose(csv);
  return 0;
}
