# talvex_add_vst_plugin(<target>
#     OUTPUT_NAME <file title>            # Talvex -> Talvex.so / Talvex.dll
#     SOURCES <sources, .rc scripts too>
#     [LIBRARIES <libraries>]
#     [OUTPUT_DIRECTORY <dir>]            # default <build>/plugins
#     [NO_PROJECT_RESOURCES])             # Windows: leave out resources/resources.list
#
# Builds a VST 2.4 plug-in as a loadable module that exports exactly the two
# entry points VSTPluginMain and main, nothing else.
#
# How the entry must be declared (one translation unit of the plug-in):
#
#   extern "C" {
#   #if defined(_WIN32)
#   // cdecl, undecorated: vst_exports.def exports it and aliases main to it.
#   AEffect* VSTPluginMain(audioMasterCallback host);
#   #else
#   // The shared object is built with -fvisibility=hidden; the version script
#   // can only export symbols of default visibility.
#   __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host);
#   // C++ cannot define a function called main that returns a pointer, so a
#   // second function takes the assembler name "main" and forwards.
#   __attribute__((visibility("default"))) AEffect* vstPluginMainAlias(audioMasterCallback host)
#       __asm__("main");
#   #endif
#   }
#
# On Windows never define a function called main (g++ refuses one that does
# not return int, gcc silently adds a call to __main): the alias comes from
# the .def file. Keep the calling convention cdecl (VSTCALLBACK in
# vst/aeffectx.h); __stdcall would export VSTPluginMain@4. DllMain should only
# record the module handle (platform::setModuleHandle) for resource lookup.
#
# Windows builds link -static (top-level CMakeLists) so the DLL imports only
# system DLLs; Linux builds link libstdc++ and libgcc statically as well (not
# under the sanitizers, whose runtimes must see the shared ones), so the .so
# does not depend on the host's C++ runtime.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/TalvexResources.cmake)

set(TALVEX_VST_EXPORTS_DEF ${CMAKE_CURRENT_LIST_DIR}/vst_exports.def)
set(TALVEX_VST_EXPORTS_VERSION_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/vst_exports.version)

if(WIN32)
  if(CMAKE_RC_COMPILER)
    set(_talvex_windres_name ${CMAKE_RC_COMPILER})
  elseif(TALVEX_MINGW_TRIPLE)
    set(_talvex_windres_name ${TALVEX_MINGW_TRIPLE}-windres)
  else()
    set(_talvex_windres_name windres)
  endif()
  find_program(TALVEX_WINDRES NAMES ${_talvex_windres_name} windres REQUIRED)
endif()

# Compiles a resource script into an object file linked into <target>. This
# does not go through CMake's RC language on purpose: the project-wide
# compile options (-Wall -Werror …) are not windres options.
function(talvex_add_resource_object target rc_file)
  get_filename_component(rc_title ${rc_file} NAME_WE)
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${target}_${rc_title}_res.obj)
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${TALVEX_WINDRES} -O coff -i ${rc_file} -o ${object}
    DEPENDS ${rc_file} ${ARGN}
    COMMENT "Compiling the resources ${rc_title} of ${target}"
    VERBATIM)
  set_source_files_properties(${object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(${target} PRIVATE ${object})
endfunction()

function(talvex_add_vst_plugin target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "NO_PROJECT_RESOURCES" "OUTPUT_NAME;OUTPUT_DIRECTORY" "SOURCES;LIBRARIES")
  if(NOT ARG_OUTPUT_NAME)
    set(ARG_OUTPUT_NAME ${target})
  endif()
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugins)
  endif()

  set(code_sources)
  set(rc_sources)
  foreach(source IN LISTS ARG_SOURCES)
    if(source MATCHES "\\.rc$")
      list(APPEND rc_sources ${source})
    else()
      list(APPEND code_sources ${source})
    endif()
  endforeach()

  add_library(${target} MODULE ${code_sources})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${ARG_OUTPUT_NAME}
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY}
    RUNTIME_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES})

  if(WIN32)
    # With a .def file the linker exports exactly what it lists (no
    # auto-export of every global symbol).
    target_sources(${target} PRIVATE ${TALVEX_VST_EXPORTS_DEF})
    foreach(rc IN LISTS rc_sources)
      get_filename_component(rc ${rc} ABSOLUTE)
      talvex_add_resource_object(${target} ${rc})
    endforeach()
    if(NOT ARG_NO_PROJECT_RESOURCES)
      get_property(project_rc GLOBAL PROPERTY TALVEX_PROJECT_RESOURCE_SCRIPT)
      get_property(project_rc_files GLOBAL PROPERTY TALVEX_PROJECT_RESOURCE_FILES)
      if(project_rc)
        talvex_add_resource_object(${target} ${project_rc} ${project_rc_files})
      endif()
    endif()
  else()
    if(rc_sources)
      message(FATAL_ERROR "${target}: resource scripts are Windows-only; Linux builds embed through talvex_add_resource_table")
    endif()
    target_link_options(${target} PRIVATE "LINKER:--version-script=${TALVEX_VST_EXPORTS_VERSION_SCRIPT}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${TALVEX_VST_EXPORTS_VERSION_SCRIPT})
    if(NOT TALVEX_SANITIZE AND NOT TALVEX_TSAN AND NOT TALVEX_FUZZ)
      # Unresolved symbols are link errors here rather than load failures in
      # a host. (Sanitizer runtimes live in the executable, so not there.)
      target_link_options(${target} PRIVATE "LINKER:--no-undefined" -static-libstdc++ -static-libgcc)
    endif()
  endif()
endfunction()
