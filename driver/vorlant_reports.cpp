#include "driver/vorlant_reports.hpp"

#include <string>

#include "driver/report_common.hpp"
#include "driver/run_support.hpp"

namespace tessmark {

namespace {

// The report lines, exactly as scripts parse them.
// clang-format off
constexpr const char* kFileNamePrefix = "brimvaleRun%d-%d-%dA";

constexpr const char* kHeaderCreated = "Supporting material to Tessmark ; created at %s\n";
constexpr const char* kHeaderData = "Data %d-%d-%d ; maxViewNum: %d; Eigen C++: %d.%d.%d; Algorithm: %s;\n";
constexpr const char* kHeaderTotals = "Total camera number: %d; Total 3D point number: %d; Total 2D image coordinates: %d; epsilon is %.16e \n";
constexpr const char* kHeaderNote = "NOTE: A brief summary is at the bottom and a separate time consumption table TXT file.\n";
constexpr const char* kHeaderColumns = "             \t---------- Symmedian point ---\t--- Final solution ---\t--- Supplementary Information -----\n";

constexpr const char* kRecordFirst = "Point No.%7d\t%18.12lf\t%20.15lf\tLoop No.\t%5d\tof %5d;\n";
constexpr const char* kRecordSecond = "      %5d views\t%18.12lf\t%20.15lf\tR.E.(0)\t%.6e\tK.lc(0)\t%.6e";
constexpr const char* kRecordThird = " %.12lf s\t%18.12lf\t%20.15lf\tR.E.(f)\t%.6e\tK.lc(f)\t%.6e";

constexpr const char* kSummarySymmedianError = "Total symmedian point reprojection error is \n%20.20lf: \n";
constexpr const char* kSummarySymmedianKlc = "Maximum symmedian point K_{LC} distance is \n%.15E: \n";
constexpr const char* kSummaryHardLocal = "Hard case number, local solution number in total point number: %d-%d-%d \n";
constexpr const char* kSummaryFinalError = "\nTotal final reprojection error is \n%20.20lf: \n";
constexpr const char* kSummaryFinalKlc = "Maximum final K_{LC} distance is \n%.15E: \n";
constexpr const char* kSummarySolvableGlobal = "Solvable case, global solution number in total number: %d-%d-%d \n";
constexpr const char* kSummaryPhases = "Time on loading: %lf seconds; on indexing: %lf seconds; on pretreating: %lf seconds; on waiting: %lf seconds;\n";
constexpr const char* kSummaryTriangulating = "Time on Triangulating: %20.20lf seconds(with data importing, exporting and displaying excluded)\n";

constexpr const char* kFileAlgorithm = "%s(Algorithm used); report creation date: %s\n";
constexpr const char* kFileErrors = "%20.15lf(final)\t%20.15lf(symm)\t<--Total reprojection error; Eigen C++ version %d.%d.%d; Hard case-local solutions: %d-%d-%d\n";
constexpr const char* kFileKlc = "%.15E (Maximum final K_{LC} distance);  %d jacobians are Not positive definite\n";
constexpr const char* kFilePhases = "Time: %lf s(loading)-%lf s(indexing)-%lf s(pretreating)-%lf s(waiting);\n";
constexpr const char* kFileTriangulation = "%20.20lf seconds(Triangulation time with importing, exporting and displaying excluded);\n";
constexpr const char* kFileCounts = "%d-%d-%d (cameraNum-pointNum-imageCoordinates); %d (maxViewNum); epsilon is %.16e\n";
constexpr const char* kFileTableHeader = "\nNo.\tViewNo.\t  Time(seconds) \t Loops\t Reproj.error(final) \t K_{LC}(final) \t     Reproj.error(symm) \t K_{LC}(symm)\t     Curvature rho_f\tgamma_f\t     Curvature rho_m\tgamma_m\n";
// clang-format on

const std::string kRule = std::string(117, '-') + "\n";
// The point record, with 1000 (the cap of the program's solvers) beside every loop count.
const PointRecordFormats kPointRecord{kRecordFirst, kRecordSecond, kRecordThird, 1000};

std::string vorlantFileName(const TriangulationRun& run, const char* kind,
                            const std::string& stamp) {
  char prefix[96];
  std::snprintf(prefix, sizeof prefix, kFileNamePrefix, run.cameraNum, run.pointNum,
                run.imageCoordinates);
  return reportFileName(prefix, run, kind, stamp);
}

}  // namespace

std::string vorlantResultsFileName(const TriangulationRun& run, const std::string& stamp) {
  return vorlantFileName(run, "_Results", stamp);
}

std::string vorlantSummaryFileName(const TriangulationRun& run, const std::string& stamp) {
  return vorlantFileName(run, "_Summary", stamp);
}

void writeVorlantResultsHeader(std::FILE* file, const TriangulationRun& run,
                               const std::string& createdAt) {
  std::fprintf(file, kHeaderCreated, createdAt.c_str());
  std::fprintf(file, kHeaderData, run.cameraNum, run.pointNum, run.imageCoordinates, run.maxViewNum,
               kEigenVersion[0], kEigenVersion[1], kEigenVersion[2], run.algorithmName.c_str());
  std::fprintf(file, kHeaderTotals, run.cameraNum, run.pointNum, run.imageCoordinates, kDblEpsilon);
  std::fputs(kHeaderNote, file);
  std::fputs(kRule.c_str(), file);
  std::fputs(kHeaderColumns, file);
  std::fputs(kRule.c_str(), file);
}

void writeVorlantPointRecord(std::FILE* file, const TriangulationRun& run, int p) {
  writePointRecord(file, run, p, kPointRecord);
}

void writeVorlantResultsSummary(std::FILE* file, const TriangulationRun& run) {
  std::fputs("\n", file);
  std::fprintf(file, kSummarySymmedianError, sumOf(run.outcomes, startCost));
  std::fprintf(file, kSummarySymmedianKlc, maximumOf(run.outcomes, startKlc));
  std::fprintf(file, kSummaryHardLocal, run.hardCaseCount, run.localSolutionCount, run.pointNum);
  std::fprintf(file, kSummaryFinalError, sumOf(run.outcomes, finalCost));
  std::fprintf(file, kSummaryFinalKlc, maximumOf(run.outcomes, finalKlc));
  std::fprintf(file, kSummarySolvableGlobal, run.solvableCount, run.globalSolutionCount,
               run.pointNum);
  std::fprintf(file, kSummaryPhases, run.loadingSeconds, run.indexingSeconds,
               run.pretreatingSeconds, run.waitingSeconds);
  std::fprintf(file, kSummaryTriangulating, sumOf(run.outcomes, pointSeconds));
}

void writeVorlantSummaryFile(std::FILE* file, const TriangulationRun& run,
                             const std::string& createdAt) {
  std::fprintf(file, kFileAlgorithm, run.algorithmName.c_str(), createdAt.c_str());
  std::fprintf(file, kFileErrors, sumOf(run.outcomes, finalCost), sumOf(run.outcomes, startCost),
               kEigenVersion[0], kEigenVersion[1], kEigenVersion[2], run.hardCaseCount,
               run.localSolutionCount, run.pointNum);
  std::fprintf(file, kFileKlc, maximumOf(run.outcomes, finalKlc), run.notPositiveDefiniteCount);
  std::fprintf(file, kFilePhases, run.loadingSeconds, run.indexingSeconds, run.pretreatingSeconds,
               run.waitingSeconds);
  std::fprintf(file, kFileTriangulation, sumOf(run.outcomes, pointSeconds));
  std::fprintf(file, kFileCounts, run.cameraNum, run.pointNum, run.imageCoordinates, run.maxViewNum,
               kDblEpsilon);
  std::fputs(kFileTableHeader, file);
  writeTimeTableRows(file, run);
}

ReportWriters vorlantReports() {
  return {vorlantResultsFileName,  vorlantSummaryFileName,     writeVorlantResultsHeader,
          writeVorlantPointRecord, writeVorlantResultsSummary, writeVorlantSummaryFile};
}

}  // namespace tessmark
