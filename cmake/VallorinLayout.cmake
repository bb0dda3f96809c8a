# Where the program's files go when installed, and the same layout in the build tree.
#
# The program finds its help file and its toolkit from its own folder through relative paths fixed
# at configure time, so an install is relocatable (any prefix, blanks included) and needs no
# environment variable. The build tree keeps the install's layout below the build folder, so the
# same relative paths hold when the programs run from the build tree.
include(GNUInstallDirs)

# The desktop entry, the icon and the AppStream component share one reverse-DNS name, named after
# the maker whose key the program keeps its settings under.
set(VALLORIN_APP_ID com.tesmarine.Vallorin)

set(VALLORIN_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/vallorin)
# Helper programs are installed under libexec, as Debian keeps programs that users do not start
# from a shell; the toolkit keeps its files beside its programs in one folder.
set(VALLORIN_INSTALL_TOOLKITDIR ${CMAKE_INSTALL_LIBEXECDIR}/vallorin/toolkit)
set(VALLORIN_INSTALL_FULL_TOOLKITDIR ${CMAKE_INSTALL_FULL_LIBEXECDIR}/vallorin/toolkit)

file(RELATIVE_PATH VALLORIN_DATA_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/vallorin)
file(RELATIVE_PATH VALLORIN_TOOLKIT_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${VALLORIN_INSTALL_FULL_TOOLKITDIR})
# The way back, for a toolkit program that starts the panel installed with it.
file(RELATIVE_PATH VALLORIN_BIN_FROM_TOOLKIT ${VALLORIN_INSTALL_FULL_TOOLKITDIR}
     ${CMAKE_INSTALL_FULL_BINDIR})

# The build tree's programs are in bin/; their data and toolkit lie where the install puts them.
get_filename_component(VALLORIN_BUILD_DATA_DIR ${CMAKE_BINARY_DIR}/bin/${VALLORIN_DATA_FROM_BIN}
                       ABSOLUTE)
get_filename_component(VALLORIN_BUILD_TOOLKIT_DIR
                       ${CMAKE_BINARY_DIR}/bin/${VALLORIN_TOOLKIT_FROM_BIN} ABSOLUTE)
foreach(folder ${VALLORIN_BUILD_DATA_DIR} ${VALLORIN_BUILD_TOOLKIT_DIR})
    string(FIND "${folder}/" "${CMAKE_BINARY_DIR}/" at)
    if(NOT at EQUAL 0)
        message(FATAL_ERROR "The install folders (bin: ${CMAKE_INSTALL_FULL_BINDIR}, data: "
                "${CMAKE_INSTALL_FULL_DATADIR}, libexec: ${CMAKE_INSTALL_FULL_LIBEXECDIR}) "
                "would put ${folder} outside the build tree; keep them below one prefix.")
    endif()
endforeach()

# The desktop entry that scans the files and folders a file manager hands it, configured by
# VallorinInstall.cmake; the scanner's tests run its command.
set(VALLORIN_SCAN_ENTRY ${CMAKE_BINARY_DIR}/packaging/${VALLORIN_APP_ID}.Scan.desktop)

configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildConfig.h.in
               ${CMAKE_BINARY_DIR}/generated/BuildConfig.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
