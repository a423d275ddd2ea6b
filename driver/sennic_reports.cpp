#include "driver/sennic_reports.hpp"

#include <string>

#include "driver/report_common.hpp"

namespace tessmark {

namespace {

// The report lines, exactly as scripts parse them.
// clang-format off
constexpr const char* kFileNamePrefix = "dinosaur%d-%d-A";

constexpr const char* kHeaderCreated = "Supporting material to Tessmark; created at: %s\n";
constexpr const char* kHeaderAlgorithm = "Algorithm: %s; Eigen C++ version: %d.%d.%d\n";
constexpr const char* kHeaderCounts = "%d-%d (allCameraNum-pointNum); %d (max camera number);  epsilon used is %.16e \n";
constexpr const char* kHeaderNote = "NOTE: There is a brief summary at the bottom and a separate time consumption table TXT file.\n";
constexpr const char* kHeaderColumns = "             \t----- Symmedian point ---\t--- Final solution ---\t--- Supplementary Information -----\n";

constexpr const char* kRecordFirst = "Point  No.%7d\t%20.12lf\t%20.15lf\tLoop No.\t%5d\tof %5d; \n";
constexpr const char* kRecordSecond = "      %5d views\t%20.12lf\t%20.15lf\tR.E.(0)\t%.6e\tK.lc(0)\t%.6e";
constexpr const char* kRecordThird = " %.12lf s\t%20.12lf\t%20.15lf\tR.E.(f)\t%.6e\tK.lc(f)\t%.6e";

constexpr const char* kSummarySymmedianError = "Total symmedian point reprojection error is \n%20.20lf: \n";
constexpr const char* kSummarySymmedianKlc = "Maximum symmedian point K_{LC} distance is \n%.15E: \n";
constexpr const char* kSummaryHardSolvable = "Hard case number %d and solvable case number %d of all %d points; \n";
constexpr const char* kSummaryFinalError = "\nTotal final reprojection error is \n%20.20lf: \n";
constexpr const char* kSummaryFinalKlc = "Maximum final K_{LC} distance is \n%.15E: \n";
constexpr const char* kSummaryGlobalLocal = "Global solution number %d and possible local solution number %d of all %d points; \n";
constexpr const char* kSummaryTriangulating = "Total time consumption is %20.20lf seconds(with data importing, exporting and displaying excluded)\n";
constexpr const char* kSummaryPhases = "Time on loading - indexing - pretreating: %.12lf - %.12lf - %.15lf seconds\n";

constexpr const char* kFileAlgorithm = "Algorithm: %s; report created at: %s\n";
constexpr const char* kFileErrors = "%12.10lf(final)\t%12.10lf(symm) <--Total reprojection errors; Eigen C++ version %d.%d.%d;\n";
constexpr const char* kFileCounts = "%d-%d <--(allCameraNum-pointNum); %d (max camera number); HardCase and local solution numbers: %d-%d-%d \nMax final K_{LC}: %.15E,  %d jacobians are Not positive definite\n";
constexpr const char* kFileTimes = "%15.12lf seconds <--(Triangulation time with importing-indexing-pretreating(%.8lf-%.8lf-%.10lf), exporting and displaying excluded); epsilon: %.16e\n";
constexpr const char* kFileTableHeader = "\n\nNo.\tViewNo.\t   Time(seconds) \t Loops\tReproj.error(final) \t  K_{LC}(final) \t   Reproj.error(symm)\t K_{LC}(symm) \t   Curvature rho_f\tgamma_f\t   Curvature rho_m\tgamma_m\n";
// clang-format on

const std::string kRule = std::string(117, '-') + "\n";
const std::string kSummaryRule = std::string(92, '-') + "\n";
// The point record, with 500 (the cap of most of the program's solvers) beside every loop count.
const PointRecordFormats kPointRecord{kRecordFirst, kRecordSecond, kRecordThird, 500};

std::string sennicFileName(const TriangulationRun& run, const char* kind,
                           const std::string& stamp) {
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, kFileNamePrefix, run.cameraNum, run.pointNum);
  return reportFileName(prefix, run, kind, stamp);
}

}  // namespace

std::string sennicResultsFileName(const TriangulationRun& run, const std::string& stamp) {
  return sennicFileName(run, "_Results", stamp);
}

std::string sennicSummaryFileName(const TriangulationRun& run, const std::string& stamp) {
  return sennicFileName(run, "_Summary", stamp);
}

void writeSennicResultsHeader(std::FILE* file, const TriangulationRun& run,
                              const std::string& createdAt) {
  std::fprintf(file, kHeaderCreated, createdAt.c_str());
  std::fprintf(file, kHeaderAlgorithm, run.algorithmName.c_str(), kEigenVersion[0],
               kEigenVersion[1], kEigenVersion[2]);
  std::fprintf(file, kHeaderCounts, run.cameraNum, run.pointNum, run.maxViewNum, kDblEpsilon);
  std::fputs(kHeaderNote, file);
  std::fputs(kRule.c_str(), file);
  std::fputs(kHeaderColumns, file);
  std::fputs(kRule.c_str(), file);
}

void writeSennicPointRecord(std::FILE* file, const TriangulationRun& run, int p) {
  writePointRecord(file, run, p, kPointRecord);
}

void writeSennicResultsSummary(std::FILE* file, const TriangulationRun& run) {
  std::fputs(kSummaryRule.c_str(), file);
  std::fprintf(file, kSummarySymmedianError, sumOf(run.outcomes, startCost));
  std::fprintf(file, kSummarySymmedianKlc, maximumOf(run.outcomes, startKlc));
  std::fprintf(file, kSummaryHardSolvable, run.hardCaseCount, run.solvableCount, run.pointNum);
  std::fprintf(file, kSummaryFinalError, sumOf(run.outcomes, finalCost));
  std::fprintf(file, kSummaryFinalKlc, maximumOf(run.outcomes, finalKlc));
  std::fprintf(file, kSummaryGlobalLocal, run.globalSolutionCount, run.localSolutionCount,
               run.pointNum);
  std::fprintf(file, kSummaryTriangulating, sumOf(run.outcomes, pointSeconds));
  std::fprintf(file, kSummaryPhases, run.loadingSeconds, run.indexingSeconds,
               run.pretreatingSeconds);
}

void writeSennicSummaryFile(std::FILE* file, const TriangulationRun& run,
                            const std::string& createdAt) {
  std::fprintf(file, kFileAlgorithm, run.algorithmName.c_str(), createdAt.c_str());
  std::fprintf(file, kFileErrors, sumOf(run.outcomes, finalCost), sumOf(run.outcomes, startCost),
               kEigenVersion[0], kEigenVersion[1], kEigenVersion[2]);
  std::fprintf(file, kFileCounts, run.cameraNum, run.pointNum, run.maxViewNum, run.hardCaseCount,
               run.localSolutionCount, run.pointNum, maximumOf(run.outcomes, finalKlc),
               run.notPositiveDefiniteCount);
  std::fprintf(file, kFileTimes, sumOf(run.outcomes, pointSeconds), run.loadingSeconds,
               run.indexingSeconds, run.pretreatingSeconds, kDblEpsilon);
  std::fputs(kFileTableHeader, file);
  writeTimeTableRows(file, run);
}

ReportWriters sennicReports() {
  return {sennicResultsFileName,  sennicSummaryFileName,     writeSennicResultsHeader,
          writeSennicPointRecord, writeSennicResultsSummary, writeSennicSummaryFile};
}

}  // namespace tessmark
