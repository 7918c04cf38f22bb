# Built-in data compiled into a plug-in, driven by one list file: each line is
#   TYPE NAME relative-path
# with '#' starting a comment. TYPE is the resource type ("DATA", "PNG"),
# NAME the name the plug-in looks up (letters, digits, '_', '-', '.', '+'; not
# starting with a digit, which Windows would take for a numeric id), and the
# path is relative to the list's folder.
#
# Linux: a native generator (tools/embed_resources) turns the list into a
# compiled-in table behind embeddedResources(). Windows: a resource script is
# written at configure time and windres compiles it into the DLL, where
# FindResourceA finds the entries.
include_guard(GLOBAL)

# Parses LIST into three parallel lists; stops the configure with the line
# number on a malformed line or a missing file.
function(talvex_parse_resource_list)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "LIST;BASE_DIR;OUT_TYPES;OUT_NAMES;OUT_FILES" "")
  if(NOT ARG_BASE_DIR)
    get_filename_component(ARG_BASE_DIR ${ARG_LIST} DIRECTORY)
  endif()
  file(STRINGS ${ARG_LIST} lines)
  set(types)
  set(names)
  set(files)
  set(line_number 0)
  foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    string(REGEX REPLACE "#.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    if(NOT line MATCHES "^([A-Za-z][A-Za-z0-9_]*)[ \t]+([A-Za-z_.+-][A-Za-z0-9_.+-]*)[ \t]+([^ \t\"].*)$")
      message(FATAL_ERROR "${ARG_LIST}:${line_number}: expected 'TYPE NAME relative-path'")
    endif()
    set(path "${ARG_BASE_DIR}/${CMAKE_MATCH_3}")
    if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
      message(FATAL_ERROR "${ARG_LIST}:${line_number}: no such file: ${path}")
    endif()
    list(APPEND types "${CMAKE_MATCH_1}")
    list(APPEND names "${CMAKE_MATCH_2}")
    list(APPEND files "${path}")
  endforeach()
  set(${ARG_OUT_TYPES} "${types}" PARENT_SCOPE)
  set(${ARG_OUT_NAMES} "${names}" PARENT_SCOPE)
  set(${ARG_OUT_FILES} "${files}" PARENT_SCOPE)
endfunction()

# Linux: a static library <target> holding the generated table. FUNCTION
# names the lookup function (default embeddedResources, declared in
# resources/embedded_resources.h); DEPENDS names targets or files that must
# exist before the files are read (data generated at build time).
function(talvex_add_resource_table target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "LIST;BASE_DIR;FUNCTION" "DEPENDS")
  if(NOT ARG_BASE_DIR)
    get_filename_component(ARG_BASE_DIR ${ARG_LIST} DIRECTORY)
  endif()
  if(NOT ARG_FUNCTION)
    set(ARG_FUNCTION embeddedResources)
  endif()
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_table.cpp)
  # The generator writes a depfile naming every listed file, so that a
  # changed sample re-embeds without a new configure.
  add_custom_command(
    OUTPUT ${output}
    COMMAND talvex_embed_resources --list ${ARG_LIST} --base ${ARG_BASE_DIR} --output ${output}
            --function ${ARG_FUNCTION} --depfile ${output}.d
    DEPENDS talvex_embed_resources ${ARG_LIST} ${ARG_DEPENDS}
    DEPFILE ${output}.d
    COMMENT "Embedding the resources of ${ARG_LIST}"
    VERBATIM)
  add_library(${target} STATIC ${output})
  # Large tables compile fastest without optimisation; they are plain bytes.
  set_source_files_properties(${output} PROPERTIES COMPILE_OPTIONS "-O0;-g0")
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# Windows: writes a resource script OUTPUT for windres, with a version record
# (PRODUCT, COMPANY, VERSION "major.minor", DESCRIPTION, FILE_NAME) so that the
# script is never empty. The variable named by OUT_DEPENDS receives the
# listed files, which the compiled script depends on.
function(talvex_write_resource_script)
  cmake_parse_arguments(PARSE_ARGV 0 ARG ""
    "LIST;BASE_DIR;OUTPUT;PRODUCT;COMPANY;VERSION;DESCRIPTION;FILE_NAME;OUT_DEPENDS" "")
  set(types)
  set(names)
  set(files)
  if(ARG_LIST)
    talvex_parse_resource_list(LIST ${ARG_LIST} BASE_DIR "${ARG_BASE_DIR}"
      OUT_TYPES types OUT_NAMES names OUT_FILES files)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARG_LIST})
  endif()
  if(NOT ARG_VERSION)
    set(ARG_VERSION ${PROJECT_VERSION})
  endif()
  string(REPLACE "." ";" version_parts "${ARG_VERSION}.0.0.0")
  list(SUBLIST version_parts 0 4 version_parts)
  string(REPLACE ";" "," version_commas "${version_parts}")
  string(REPLACE ";" "." version_dots "${version_parts}")

  set(content "// Generated from ${ARG_LIST}; do not edit.\n")
  string(APPEND content "#include <winver.h>\n\n")
  list(LENGTH names count)
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      list(GET types ${i} type)
      list(GET names ${i} name)
      list(GET files ${i} path)
      string(TOUPPER "${type}" type)
      # windres reads a name with other characters than these as an
      # expression; quoted, it is kept (upper-cased, as unquoted names are).
      # Adjacent quoted strings are joined, as in C, so a statement (the
      # language windres assumes anyway) separates the name from the path
      # on the line before.
      if(NOT name MATCHES "^[A-Za-z0-9_.-]+$")
        set(name "LANGUAGE 9, 1\n\"${name}\"")
      endif()
      string(APPEND content "${name} ${type} \"${path}\"\n")
    endforeach()
  endif()
  string(APPEND content "
VS_VERSION_INFO VERSIONINFO
FILEVERSION ${version_commas}
PRODUCTVERSION ${version_commas}
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_DLL
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904B0\"
    BEGIN
      VALUE \"CompanyName\", \"${ARG_COMPANY}\"
      VALUE \"FileDescription\", \"${ARG_DESCRIPTION}\"
      VALUE \"FileVersion\", \"${version_dots}\"
      VALUE \"OriginalFilename\", \"${ARG_FILE_NAME}\"
      VALUE \"ProductName\", \"${ARG_PRODUCT}\"
      VALUE \"ProductVersion\", \"${version_dots}\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1200
  END
END
")
  file(GENERATE OUTPUT ${ARG_OUTPUT} CONTENT "${content}")
  if(ARG_OUT_DEPENDS)
    set(${ARG_OUT_DEPENDS} "${files}" PARENT_SCOPE)
  endif()
endfunction()
