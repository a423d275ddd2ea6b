#pragma once
// The comparison's pictures, drawn by matplotlib: the program carries a copy of
// scripts/plot_comparison.py and hands it to a Python interpreter that can import matplotlib.

#include <string>
#include <string_view>

namespace tessmark {

// The plotting script, as built into the program.
extern const std::string_view kPlotScript;

// The picture files the script writes into the output folder: three figures, each as PNG, PDF and
// SVG.
inline constexpr const char* kPlotFiles[] = {
    "cost_profile.png", "cost_profile.pdf", "cost_profile.svg",
    "time_profile.png", "time_profile.pdf", "time_profile.svg",
    "loops.png",        "loops.pdf",        "loops.svg"};

// The figures in `folder` as the console names them: "DIR/cost_profile, DIR/time_profile and
// DIR/loops (.png, .pdf, .svg)".
std::string plotFilesText(const std::string& folder);

// The first interpreter that imports matplotlib: the one named by the environment variable
// TESSMARK_PYTHON when it is set (and no other), otherwise "python3" on the PATH, then
// /usr/bin/python3 (Debian's, where python3-matplotlib installs). Empty when there is none.
std::string findPlottingPython();

// `folder` as the script's argument: a name that begins with '-' (and so would read as an option)
// is written "./-name".
std::string scriptFolderArgument(const std::string& folder);

// Runs the script with `python` on `folder` (which holds points.csv), titling the pictures with
// `title` (both may begin with a dash: the script is told where its options end). The script writes
// one line on the standard output as it begins to draw. Returns "" when it drew them, otherwise why
// not (the script's own error is left on the standard error stream).
std::string drawPlots(const std::string& python, const std::string& folder,
                      const std::string& title);

}  // namespace tessmark
