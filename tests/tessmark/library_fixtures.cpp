#include "tests/tessmark/library_fixtures.hpp"

#include <bit>
#include <cstdlib>
#include <sstream>

#include <unistd.h>

#include <gtest/gtest.h>

namespace tessmark::testing {

namespace fs = std::filesystem;

MadeData::MadeData()
    : folder_(fs::temp_directory_path() / ("tessmark-library-" + std::to_string(::getpid()))) {
  fs::create_directories(folder_);
  make(TESSMARK_MAKE_BAL, "synthetic.txt", "--cameras 12 --points 60 --noise 0.7 --seed 5");
  make(TESSMARK_MAKE_LC, "synthetic.lc", "--cameras 12 --points 60 --noise 0.7 --seed 5");
  make(TESSMARK_MAKE_BAL, "larger.txt", "--cameras 20 --points 2000 --noise 1.5 --seed 11");
  make(TESSMARK_MAKE_LC, "larger.lc", "--cameras 36 --points 1500 --noise 1.5 --seed 11");
}

MadeData::~MadeData() {
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

void MadeData::make(const char* maker, const char* name, const char* options) {
  const std::string command = std::string("'") + maker + "' '" + path(name) + "' " + options;
  if (std::system(command.c_str()) != 0) ADD_FAILURE() << "failed: " << command;
}

const MadeData& madeData() {
  static const MadeData data;
  return data;
}

std::string realData(const char* name) {
  const char* folder = std::getenv("TESSMARK_DATA_DIR");
  if (folder == nullptr) return "";
  const fs::path path = fs::path(folder) / name;
  return fs::exists(path) ? path.string() : "";
}

std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

std::string differences(const PointOutcome& program, const Triangulation& api) {
  std::ostringstream out;
  out.precision(17);
  auto compare = [&](const char* name, double expected, double actual) {
    if (bits(expected) != bits(actual)) out << name << " " << expected << " vs " << actual << "; ";
  };
  for (int k = 0; k < 3; ++k) {
    compare("x_m", program.start(k), api.start(k));
    compare("x_f", program.point(k), api.point(k));
  }
  if (program.loops != api.loops) out << "loops " << program.loops << " vs " << api.loops << "; ";
  if (program.capReached != api.capReached) out << "capReached; ";
  if (program.hessianModified != api.hessianModified) out << "hessianModified; ";
  const PointJudgement& j = program.judgement;
  compare("reprojError_m", j.reprojError_m, api.reprojError_m);
  compare("reprojError_f", j.reprojError_f, api.reprojError_f);
  compare("gamma_m", j.gamma_m, api.gamma_m);
  compare("gamma_f", j.gamma_f, api.gamma_f);
  compare("rho_m", j.rho_m, api.rho_m);
  compare("rho_f", j.rho_f, api.rho_f);
  compare("klc_m", j.klc_m, api.klc_m);
  compare("klc_f", j.klc_f, api.klc_f);
  if (j.positiveSemidefinite != api.positiveSemidefinite) out << "positiveSemidefinite; ";
  if (j.solvable != api.solvable) out << "solvable; ";
  if (j.global != api.global) out << "global; ";
  return out.str();
}

}  // namespace tessmark::testing
