#include "driver/vorlant_reports.hpp"

#include <string>

#include "driver/report_common.hpp"

namespace tessmark {

namespace {

std::string vorlantFileName(const TriangulationRun& run, const char* kind, const std::string& stamp) {
  char prefix[96];
  std::snprintf(prefix, sizeof prefix, "brimvaleRun%d-%d-%dA", run.cameraNum, run.pointNum, run.imageCoordinates);
  return std::string(prefix) + static_cast<char>(run.algorithmKey) + kind + stamp + ".txt";
}

const char* const kRule =
    "---------------------------------------------------------------------------------------------------------------------\n";

}  // namespace

std::string vorlantResultsFileName(const TriangulationRun& run, const std::string& stamp) {
  return vorlantFileName(run, "_Results", stamp);
}

std::string vorlantSummaryFileName(const TriangulationRun& run, const std::string& stamp) {
  return vorlantFileName(run, "_Summary", stamp);
}

void writeVorlantResultsHeader(std::FILE* file, const TriangulationRun& run, const std::string& createdAt) {
  std::fprintf(file, "Supporting material to Tessmark ; created at %s\n", createdAt.c_str());
  std::fprintf(file, "Data %d-%d-%d ; maxViewNum: %d; Eigen C++: %d.%d.%d; Algorithm: %s;\n", run.cameraNum,
               run.pointNum, run.imageCoordinates, run.maxViewNum, kEigenVersion[0], kEigenVersion[1],
               kEigenVersion[2], run.algorithmName.c_str());
  std::fprintf(file,
               "Total camera number: %d; Total 3D point number: %d; Total 2D image coordinates: %d; epsilon is "
               "%.16e \n",
               run.cameraNum, run.pointNum, run.imageCoordinates, kReportedEpsilon);
  std::fprintf(file, "NOTE: A brief summary is at the bottom and a separate time consumption table TXT file.\n");
  std::fputs(kRule, file);
  std::fprintf(file,
               "             \t---------- Symmedian point ---\t--- Final solution ---\t--- Supplementary "
               "Information -----\n");
  std::fputs(kRule, file);
}

void writeVorlantPointRecord(std::FILE* file, const TriangulationRun& run, int p, const Eigen::Vector3d& x_m,
                             const Eigen::Vector3d& x_f, bool solvable, bool global) {
  const auto i = static_cast<std::size_t>(p);
  std::fprintf(file, "Point No.%7d\t%18.12lf\t%20.15lf\tLoop No.\t%5d\tof %5d;\n", p + 1, x_m(0), x_f(0),
               run.pointLoops[i], run.loopCap);
  std::fprintf(file, "      %5d views\t%18.12lf\t%20.15lf\tR.E.(0)\t%.6e\tK.lc(0)\t%.6e", run.viewNum[i], x_m(1),
               x_f(1), run.reprojError_m[i], run.klc_m[i]);
  std::fprintf(file, "\t%s\n", solvableLabel(solvable));
  std::fprintf(file, " %.12lf s\t%18.12lf\t%20.15lf\tR.E.(f)\t%.6e\tK.lc(f)\t%.6e", run.pointSeconds[i], x_m(2),
               x_f(2), run.reprojError_f[i], run.klc_f[i]);
  std::fprintf(file, "\t%s\n", globalLabel(global));
}

void writeVorlantResultsSummary(std::FILE* file, const TriangulationRun& run) {
  std::fprintf(file, "\n");
  std::fprintf(file, "Total symmedian point reprojection error is \n%20.20lf: \n", sumOf(run.reprojError_m));
  std::fprintf(file, "Maximum symmedian point K_{LC} distance is \n%.15E: \n", maximumOf(run.klc_m));
  std::fprintf(file, "Hard case number, local solution number in total point number: %d-%d-%d \n",
               run.hardCaseCount, run.localSolutionCount, run.pointNum);
  std::fprintf(file, "\nTotal final reprojection error is \n%20.20lf: \n", sumOf(run.reprojError_f));
  std::fprintf(file, "Maximum final K_{LC} distance is \n%.15E: \n", maximumOf(run.klc_f));
  std::fprintf(file, "Solvable case, global solution number in total number: %d-%d-%d \n", run.solvableCount,
               run.globalSolutionCount, run.pointNum);
  std::fprintf(file,
               "Time on loading: %lf seconds; on indexing: %lf seconds; on pretreating: %lf seconds; on "
               "waiting: %lf seconds;\n",
               run.loadingSeconds, run.indexingSeconds, run.pretreatingSeconds, run.waitingSeconds);
  std::fprintf(file,
               "Time on Triangulating: %20.20lf seconds(with data importing, exporting and displaying "
               "excluded)\n",
               sumOf(run.pointSeconds));
}

void writeVorlantSummaryFile(std::FILE* file, const TriangulationRun& run, const std::string& createdAt) {
  std::fprintf(file, "%s(Algorithm used); report creation date: %s\n", run.algorithmName.c_str(),
               createdAt.c_str());
  std::fprintf(file,
               "%20.15lf(final)\t%20.15lf(symm)\t<--Total reprojection error; Eigen C++ version %d.%d.%d; Hard "
               "case-local solutions: %d-%d-%d\n",
               sumOf(run.reprojError_f), sumOf(run.reprojError_m), kEigenVersion[0], kEigenVersion[1],
               kEigenVersion[2], run.hardCaseCount, run.localSolutionCount, run.pointNum);
  std::fprintf(file, "%.15E (Maximum final K_{LC} distance);  %d jacobians are Not positive definite\n",
               maximumOf(run.klc_f), run.notPositiveDefiniteCount);
  std::fprintf(file, "Time: %lf s(loading)-%lf s(indexing)-%lf s(pretreating)-%lf s(waiting);\n",
               run.loadingSeconds, run.indexingSeconds, run.pretreatingSeconds, run.waitingSeconds);
  std::fprintf(file, "%20.20lf seconds(Triangulation time with importing, exporting and displaying excluded);\n",
               sumOf(run.pointSeconds));
  std::fprintf(file, "%d-%d-%d (cameraNum-pointNum-imageCoordinates); %d (maxViewNum); epsilon is %.16e\n",
               run.cameraNum, run.pointNum, run.imageCoordinates, run.maxViewNum, kReportedEpsilon);
  std::fprintf(file,
               "\nNo.\tViewNo.\t  Time(seconds) \t Loops\t Reproj.error(final) \t K_{LC}(final) \t     "
               "Reproj.error(symm) \t K_{LC}(symm)\t     Curvature rho_f\tgamma_f\t     Curvature "
               "rho_m\tgamma_m\n");
  for (int p = 0; p < run.pointNum; ++p) {
    const auto i = static_cast<std::size_t>(p);
    std::fprintf(file, "%4d\t%2d\t%20.18lf\t%4d\t%20.18lf\t%.18e\t%10.10lf\t%10.10e\t %lf\t%lf\t%lf\t%lf\n", p + 1,
                 run.viewNum[i], run.pointSeconds[i], run.pointLoops[i], run.reprojError_f[i], run.klc_f[i],
                 run.reprojError_m[i], run.klc_m[i], run.rho_f[i], run.gamma_f[i], run.rho_m[i], run.gamma_m[i]);
  }
}

}  // namespace tessmark
