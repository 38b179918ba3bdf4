# The Windows build's tests: the headless ones (the engine, the protocol, files, waveform and
# COMTRADE files, records in SQLite, curves, the report), run under Wine by
# scripts/test-windows.sh. The windows' tests, the serial port's on pseudo-terminals,
# the USB library's under umockdev and the shared database's on a PostgreSQL server are the
# Linux build's.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_library(qt_test_main STATIC qt_test_main.cpp)
target_link_libraries(qt_test_main PUBLIC Qt6::Widgets GTest::gtest)

function(qarn3_windows_test name)
    cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
    add_executable(${name} ${T_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE -include ${CMAKE_CURRENT_SOURCE_DIR}/support/wincompat.h
        -Wno-conversion -Wno-sign-compare)
    qarn3_program(${name})
    add_test(NAME ${name} COMMAND ${name})
endfunction()

qarn3_windows_test(test_protocol test_protocol.cpp LIBS qarn3_link GTest::gtest_main)
qarn3_windows_test(test_engine test_engine.cpp LIBS qarn3_engine GTest::gtest_main)
qarn3_windows_test(test_analysis test_analysis.cpp LIBS qarn3_engine GTest::gtest_main)
qarn3_windows_test(test_capture test_capture.cpp LIBS qarn3_engine GTest::gtest_main)
qarn3_windows_test(test_analyzetool test_analyzetool.cpp LIBS qarn3_analyze_tool GTest::gtest_main)
qarn3_windows_test(test_comtrade test_comtrade.cpp test_comtrade_analysis.cpp
    LIBS qarn3_analyze_tool GTest::gtest_main)
qarn3_windows_test(test_records test_textformat.cpp test_files.cpp test_setup.cpp test_cal.cpp
    test_calimage.cpp test_sitesettings.cpp test_waveform.cpp
    LIBS qarn3_calsetup qarn3_waveform GTest::gtest_main)
qarn3_windows_test(test_shotjudging test_shotjudging.cpp LIBS qarn3_records GTest::gtest_main)
qarn3_windows_test(test_resolver test_resolver.cpp LIBS qarn3_records GTest::gtest_main)
qarn3_windows_test(test_syncplan test_syncplan.cpp LIBS qarn3_records GTest::gtest_main)
qarn3_windows_test(test_report test_curves.cpp test_report.cpp LIBS qarn3_records_tool qt_test_main)
target_compile_definitions(test_report PRIVATE QARN3_SOURCE_DIR="${QARN3_ROOT}"
    QARN3_PDFTOTEXT="" QARN3_PDFTOPPM="" QARN3_PDFINFO="")
qarn3_windows_test(test_recordsdb test_verdict.cpp test_recordsdatabase.cpp
    test_comtradeshot.cpp test_approval.cpp LIBS qarn3_records_tool qt_test_main)
target_compile_definitions(test_recordsdb PRIVATE QARN3_SOURCE_DIR="${QARN3_ROOT}")

# The program with the operator's script linked in (Linux preloads it instead): a whole test
# worked through the windows under Wine.
add_executable(qarn3-driven ${QARN3_ROOT}/app/main.cpp ${QARN3_ROOT}/bench/drive.cpp)
target_compile_definitions(qarn3-driven PRIVATE QARN3_VERSION="${PROJECT_VERSION}")
target_link_libraries(qarn3-driven PRIVATE qarn3_app_widgets Qt6::Test)
qarn3_program(qarn3-driven)
