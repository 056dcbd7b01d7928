# Windows build: the real platform, the executable and its resources.
#
# Every executable is a console program linked fully statically (libgcc,
# libstdc++, winpthread, zlib), so that it imports nothing but system DLLs; a
# post-build step checks that. The Definition database is a resource, and
# quenwick_add_executable() links the same objects with another database for
# each test variant: one .rc compile and one link per variant.
enable_language(RC)

# --- zlib: always the static archive of the target's sysroot ---------------
find_library(QUENWICK_ZLIB_ARCHIVE NAMES libz.a REQUIRED
  DOC "Static zlib for Windows (Debian: libz-mingw-w64-dev)")
find_path(QUENWICK_ZLIB_INCLUDE_DIR zlib.h REQUIRED)
add_library(quenwick_zlib STATIC IMPORTED)
set_target_properties(quenwick_zlib PROPERTIES
  IMPORTED_LOCATION ${QUENWICK_ZLIB_ARCHIVE}
  INTERFACE_INCLUDE_DIRECTORIES ${QUENWICK_ZLIB_INCLUDE_DIR})
target_link_libraries(quenwick_core PUBLIC quenwick_zlib)

# --- Link options shared by every Windows executable ------------------------
add_library(quenwick_windows_static INTERFACE)
target_link_options(quenwick_windows_static INTERFACE -static -static-libgcc -static-libstdc++
  # Release executables carry no symbols (GCC's DWARF is no use to Windows
  # debuggers); RelWithDebInfo and Debug keep them for gdb under Wine.
  $<$<CONFIG:Release,MinSizeRel>:-s>)

if(CMAKE_OBJDUMP)
  set(QUENWICK_OBJDUMP ${CMAKE_OBJDUMP})
else()
  string(REGEX REPLACE "g\\+\\+(-posix|-win32)?$" "objdump" _quenwick_objdump_guess
         "${CMAKE_CXX_COMPILER}")
  find_program(QUENWICK_OBJDUMP NAMES ${_quenwick_objdump_guess} objdump REQUIRED)
endif()

# Adds the check that `target` imports only system DLLs.
function(quenwick_check_imports target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DEXECUTABLE=$<TARGET_FILE:${target}> -DOBJDUMP=${QUENWICK_OBJDUMP}
            -P ${PROJECT_SOURCE_DIR}/cmake/QuenwickCheckImports.cmake
    COMMENT "Checking that ${target} imports only system DLLs"
    VERBATIM)
endfunction()

# --- The real platform --------------------------------------------------------
file(GLOB QUENWICK_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/engine2/platform/win32/*.cpp)
add_library(quenwick_win32 STATIC ${QUENWICK_WIN32_SOURCES})
target_compile_definitions(quenwick_win32 PRIVATE UNICODE _UNICODE)
target_link_libraries(quenwick_win32 PUBLIC quenwick_core advapi32 user32 shell32 psapi)
quenwick_warnings(quenwick_win32)

# --- The program's objects and its fixed resources ----------------------------
set(QUENWICK_RC_MANIFEST_FILE ${PROJECT_BINARY_DIR}/windows/quenwick.manifest)
configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/quenwick.manifest.in
               ${QUENWICK_RC_MANIFEST_FILE} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/quenwick.rc.in
               ${PROJECT_BINARY_DIR}/windows/quenwick.rc @ONLY)
set_source_files_properties(${PROJECT_BINARY_DIR}/windows/quenwick.rc PROPERTIES
  OBJECT_DEPENDS ${QUENWICK_RC_MANIFEST_FILE})

# Compiled once, linked into every variant.
add_library(quenwick_program_objects OBJECT
  ${PROJECT_SOURCE_DIR}/engine2/driver/main.cpp
  ${PROJECT_BINARY_DIR}/windows/quenwick.rc)
target_link_libraries(quenwick_program_objects PRIVATE quenwick_win32)
quenwick_warnings(quenwick_program_objects)

# --- The database resource ------------------------------------------------------
# The decompressed database that an executable embeds when it is given
# neither RESOURCE nor DATABASE: the sources in definitions/ compiled by
# `quenwick-db build` (a folder without sources is an error, not an empty
# database, so that a wrong path cannot ship a program that knows nothing). The tool
# refuses sources with errors, so a broken Definition fails the build.
file(GLOB QUENWICK_DEFINITION_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/definitions/*.toml)
set(QUENWICK_DEFAULT_DATABASE ${PROJECT_BINARY_DIR}/windows/default-database.bin)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/windows)
add_custom_command(OUTPUT ${QUENWICK_DEFAULT_DATABASE}
  COMMAND quenwick-db build ${PROJECT_SOURCE_DIR}/definitions -o ${QUENWICK_DEFAULT_DATABASE}
  DEPENDS ${QUENWICK_DEFINITION_SOURCES} quenwick-db
  COMMENT "Building the database from definitions/"
  VERBATIM)
add_custom_target(quenwick_default_database_file DEPENDS ${QUENWICK_DEFAULT_DATABASE})

function(quenwick_default_database out_var)
  set(${out_var} ${QUENWICK_DEFAULT_DATABASE} PARENT_SCOPE)
endfunction()

# quenwick_add_executable(<target> OUTPUT_NAME <name> [RESOURCE <file>] [DATABASE <file>])
#
# quenwick.exe with its own database resource. RESOURCE embeds that file's
# bytes unchanged (declared size and zlib stream, damaged or not); DATABASE
# is a decompressed database, compressed at build time with quenwick-db;
# with neither, the default database. The executable is <name>.exe in the
# current binary folder.
function(quenwick_add_executable target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT_NAME;RESOURCE;DATABASE" "")
  if(arg_UNPARSED_ARGUMENTS OR arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "quenwick_add_executable(${target}): unexpected arguments "
                        "${arg_UNPARSED_ARGUMENTS} ${arg_KEYWORDS_MISSING_VALUES}")
  endif()
  if(arg_RESOURCE AND arg_DATABASE)
    message(FATAL_ERROR "quenwick_add_executable(${target}): give RESOURCE or DATABASE, not both")
  endif()
  if(NOT arg_OUTPUT_NAME)
    set(arg_OUTPUT_NAME ${target})
  endif()

  set(work_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}.database)
  set(extra_sources "")
  if(arg_RESOURCE)
    get_filename_component(resource ${arg_RESOURCE} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  else()
    if(arg_DATABASE)
      get_filename_component(database ${arg_DATABASE} ABSOLUTE
                             BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    else()
      quenwick_default_database(database)
      set(uses_default_database TRUE)
    endif()
    set(resource ${work_dir}/database.resource)
    add_custom_command(OUTPUT ${resource}
      COMMAND quenwick-db resource ${database} -o ${resource}
      DEPENDS ${database} quenwick-db
      COMMENT "Compressing the database of ${arg_OUTPUT_NAME}.exe"
      VERBATIM)
    # Listing the output attaches the command to this target.
    set(extra_sources ${resource})
  endif()

  set(QUENWICK_RC_RESOURCE_FILE ${resource})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/database.rc.in ${work_dir}/database.rc @ONLY)
  set_source_files_properties(${work_dir}/database.rc PROPERTIES OBJECT_DEPENDS ${resource})

  add_executable(${target} ${work_dir}/database.rc ${extra_sources}
                 $<TARGET_OBJECTS:quenwick_program_objects>)
  target_link_libraries(${target} PRIVATE quenwick_win32 quenwick_windows_static)
  # The entry point is wmain.
  target_link_options(${target} PRIVATE -municode)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${arg_OUTPUT_NAME})
  if(uses_default_database)
    # The default database is made in the top directory; a target in another
    # directory needs the order spelt out.
    add_dependencies(${target} quenwick_default_database_file)
  endif()
  quenwick_check_imports(${target})
endfunction()

# --- quenwick.exe -----------------------------------------------------------------
if(QUENWICK_RESOURCE)
  quenwick_add_executable(quenwick OUTPUT_NAME quenwick RESOURCE ${QUENWICK_RESOURCE})
elseif(QUENWICK_DATABASE)
  quenwick_add_executable(quenwick OUTPUT_NAME quenwick DATABASE ${QUENWICK_DATABASE})
else()
  quenwick_add_executable(quenwick OUTPUT_NAME quenwick)
endif()
