#pragma once
// The two report files of the BAL triangulator. Their format strings are a contract that users'
// scripts parse: change none of them.
//
// Results file: header, three lines per point, a summary block. Summary file: a short summary and
// the time-consumption table, one row per point. Both are opened for appending.

#include <cstdio>
#include <string>

#include "driver/program.hpp"
#include "driver/triangulation_run.hpp"

namespace tessmark {

// "brimvaleRun<cameraNum>-<pointNum>-<imageCoordinates>A<key>_Results<fileStamp>.txt" and the
// "_Summary" twin; each name takes its own stamp.
std::string vorlantResultsFileName(const TriangulationRun& run, const std::string& stamp);
std::string vorlantSummaryFileName(const TriangulationRun& run, const std::string& stamp);

void writeVorlantResultsHeader(std::FILE* file, const TriangulationRun& run,
                               const std::string& createdAt);
void writeVorlantPointRecord(std::FILE* file, const TriangulationRun& run, int p);
void writeVorlantResultsSummary(std::FILE* file, const TriangulationRun& run);
void writeVorlantSummaryFile(std::FILE* file, const TriangulationRun& run,
                             const std::string& createdAt);

// All of the above, for the run driver.
ReportWriters vorlantReports();

}  // namespace tessmark
