# Install rules: the programs, and the CMake package, so that another project can write
#   find_package(Tessmark 0.1 REQUIRED)
#   target_link_libraries(app PRIVATE Tessmark::core)
# Only tessmark/triangulate.hpp and tessmark/problem.hpp are installed and promised stable. The
# static libraries below them are installed because Tessmark::core links them; their headers are
# not, and their exported targets are not part of the interface.

include(CMakePackageConfigHelpers)

set(TESSMARK_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/Tessmark")

install(TARGETS tessmark_core tessmark_dataset tessmark_console tessmark_solvers tessmark_newton
                tessmark_least_squares tessmark_solver_core tessmark_input tessmark_model
        EXPORT TessmarkTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}")
install(FILES tessmark/triangulate.hpp tessmark/problem.hpp
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/tessmark")

# The two programs, the comparison tool and the data makers, to be run from <prefix>/bin. The
# comparison tool carries its plotting script; the script is installed beside the data as well, to
# draw a comparison's figures later (python3 <prefix>/share/tessmark/plot_comparison.py DIR).
install(TARGETS vorlant sennic tessmark-compare make_bal_problem make_lc_problem
        RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(PROGRAMS scripts/plot_comparison.py DESTINATION "${CMAKE_INSTALL_DATADIR}/tessmark")
install(EXPORT TessmarkTargets NAMESPACE Tessmark:: DESTINATION "${TESSMARK_INSTALL_CMAKEDIR}")

configure_package_config_file(cmake/TessmarkConfig.cmake.in
                              "${PROJECT_BINARY_DIR}/TessmarkConfig.cmake"
                              INSTALL_DESTINATION "${TESSMARK_INSTALL_CMAKEDIR}")
# 0.x: a new minor version may change the interface.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/TessmarkConfigVersion.cmake"
                                 COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/TessmarkConfig.cmake"
              "${PROJECT_BINARY_DIR}/TessmarkConfigVersion.cmake"
        DESTINATION "${TESSMARK_INSTALL_CMAKEDIR}")
