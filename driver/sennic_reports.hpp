#pragma once
// The two report files of the .lc triangulator. Their format strings are a contract that users'
// scripts parse: change none of them.
//
// Results file: header, three lines per point, a summary block. Summary file: a short summary and
// the time-consumption table, one row per point. Both are opened for appending. Where they differ
// from the BAL triangulator's: no observation count anywhere ("-A" follows the point count in the
// names), 500 beside every loop count, a 92-dash rule opening the summary block, no waiting time.

#include <cstdio>
#include <string>

#include "driver/program.hpp"
#include "driver/triangulation_run.hpp"

namespace tessmark {

// "dinosaur<allCameraNum>-<pointNum>-A<key>_Results<fileStamp>.txt" and the "_Summary" twin; each
// name takes its own stamp.
std::string sennicResultsFileName(const TriangulationRun& run, const std::string& stamp);
std::string sennicSummaryFileName(const TriangulationRun& run, const std::string& stamp);

void writeSennicResultsHeader(std::FILE* file, const TriangulationRun& run,
                              const std::string& createdAt);
void writeSennicPointRecord(std::FILE* file, const TriangulationRun& run, int p);
void writeSennicResultsSummary(std::FILE* file, const TriangulationRun& run);
void writeSennicSummaryFile(std::FILE* file, const TriangulationRun& run,
                            const std::string& createdAt);

// All of the above, for the run driver.
ReportWriters sennicReports();

}  // namespace tessmark
