# The scan kernels: the one list from which the library compiles them, the
# scanner learns them (the generated header ScanKernelList.h), and the tests
# and the Windows host runs go through each. A kernel is added as a folder
# under kernels/ plus one line here.
#
# Each line: NAME FOLDER OPTION PROCESSOR NEEDS
#   NAME       what TAVRIN_FORCE_KERNEL takes; the kernel's function is
#              Scan::Scan<Name> (the name with its first letter capitalised)
#   FOLDER     kernels/FOLDER/*.cpp, the kernel's files
#   OPTION     the compiler option those files alone are built with ("-": none)
#   PROCESSOR  x86 (32- and 64-bit), aarch64, or any
#   NEEDS      the processor features it runs on, comma-separated, as Linux's
#              /proc/cpuinfo names them ("-": none); CpuFeatures.h has each
#              as CpuFeature::k<Name>
# From the slowest to the fastest: the scanner runs the last one this
# processor has.
set(TAVRIN_SCAN_KERNEL_TABLE
  # name      folder      option        processor  needs
  "portable   fallback    -             any        -"
  "ssse3      ssse3       -mssse3       x86        ssse3"
  "avx2       avx2        -mavx2        x86        ssse3,avx2"
  "avx512     avx512      -mavx512bw    x86        ssse3,avx2,avx512f,avx512bw"
  "avx512vbmi avx512vbmi  -mavx512vbmi  x86        ssse3,avx2,avx512f,avx512bw,avx512vbmi"
  "neon       neon        -             aarch64    asimd"
)

# What each kernel's instruction set provides besides the scan: the block
# conversion of UTF-8 to GBK (Utf8Kernels.h), in its folder's <Name>Utf8.cpp
# as Scan::Utf8ToGbk<Name>. A kernel without a line here has none; a text
# then takes the conversion of the fastest slower kernel that has one and
# runs here, or none (character by character).
#
# Each line: NAME OPTION NEEDS
#   NAME    a kernel of the list above
#   OPTION  compiler options that file takes besides the kernel's ("-": none)
#   NEEDS   processor features it needs besides the kernel's, as above ("-": none)
set(TAVRIN_UTF8_KERNEL_TABLE
  # name    option                            needs
  "ssse3    -                                 -"
  "avx2     -mbmi                             bmi1"
  "avx512   -mavx512vbmi2,-mpopcnt,-mbmi      avx512_vbmi2,popcnt,bmi1"
  "neon     -                                 -"
)

# The processor the compiler builds for: x86, aarch64, or other.
function(tavrin_target_processor out)
  include(CheckCXXSourceCompiles)
  check_cxx_source_compiles("
#if !defined(__x86_64__) && !defined(__i386__) && !defined(_M_X64) && !defined(_M_IX86)
#error not x86
#endif
int main() { return 0; }" TAVRIN_TARGET_IS_X86)
  check_cxx_source_compiles("
#if !defined(__aarch64__) && !defined(_M_ARM64)
#error not aarch64
#endif
int main() { return 0; }" TAVRIN_TARGET_IS_AARCH64)
  if(TAVRIN_TARGET_IS_X86)
    set(${out} x86 PARENT_SCOPE)
  elseif(TAVRIN_TARGET_IS_AARCH64)
    set(${out} aarch64 PARENT_SCOPE)
  else()
    set(${out} other PARENT_SCOPE)
  endif()
endfunction()

# Sets `out` to every kernel of the list with the processor that runs it,
# for the tool's help, the same wherever it is built: "portable (any
# processor), ssse3 (x86), ...".
function(tavrin_scan_kernels_for_help out)
  set(names "")
  foreach(line IN LISTS TAVRIN_SCAN_KERNEL_TABLE)
    separate_arguments(fields UNIX_COMMAND "${line}")
    list(GET fields 0 name)
    list(GET fields 3 processor)
    if(processor STREQUAL "any")
      set(processor "any processor")
    endif()
    list(APPEND names "${name} (${processor})")
  endforeach()
  list(JOIN names ", " names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# Sets, in the caller's scope, TAVRIN_SCAN_KERNELS to the names of the
# kernels built for `processor`, and for each NAME of them
# TAVRIN_SCAN_KERNEL_<NAME>_FOLDER, _OPTION and _NEEDS (a list).
macro(tavrin_scan_kernels processor)
  set(TAVRIN_SCAN_KERNELS "")
  foreach(tavrin_line IN LISTS TAVRIN_SCAN_KERNEL_TABLE)
    separate_arguments(tavrin_fields UNIX_COMMAND "${tavrin_line}")
    list(GET tavrin_fields 0 tavrin_name)
    list(GET tavrin_fields 3 tavrin_processor)
    if(NOT tavrin_processor STREQUAL "any" AND NOT tavrin_processor STREQUAL "${processor}")
      continue()
    endif()
    list(APPEND TAVRIN_SCAN_KERNELS ${tavrin_name})
    list(GET tavrin_fields 1 TAVRIN_SCAN_KERNEL_${tavrin_name}_FOLDER)
    list(GET tavrin_fields 2 TAVRIN_SCAN_KERNEL_${tavrin_name}_OPTION)
    list(GET tavrin_fields 4 tavrin_needs)
    string(REPLACE "," ";" tavrin_needs "${tavrin_needs}")
    list(REMOVE_ITEM tavrin_needs "-")
    set(TAVRIN_SCAN_KERNEL_${tavrin_name}_NEEDS ${tavrin_needs})
  endforeach()
  # The UTF-8 conversions of those kernels: TAVRIN_UTF8_KERNELS, and for each
  # NAME TAVRIN_UTF8_KERNEL_<NAME>_OPTIONS and _NEEDS (lists; _NEEDS holds
  # the kernel's needs too).
  set(TAVRIN_UTF8_KERNELS "")
  foreach(tavrin_line IN LISTS TAVRIN_UTF8_KERNEL_TABLE)
    separate_arguments(tavrin_fields UNIX_COMMAND "${tavrin_line}")
    list(GET tavrin_fields 0 tavrin_name)
    if(NOT tavrin_name IN_LIST TAVRIN_SCAN_KERNELS)
      continue()
    endif()
    list(APPEND TAVRIN_UTF8_KERNELS ${tavrin_name})
    list(GET tavrin_fields 1 tavrin_options)
    string(REPLACE "," ";" tavrin_options "${tavrin_options}")
    list(REMOVE_ITEM tavrin_options "-")
    set(TAVRIN_UTF8_KERNEL_${tavrin_name}_OPTIONS ${tavrin_options})
    list(GET tavrin_fields 2 tavrin_needs)
    string(REPLACE "," ";" tavrin_needs "${tavrin_needs}")
    list(REMOVE_ITEM tavrin_needs "-")
    set(TAVRIN_UTF8_KERNEL_${tavrin_name}_NEEDS
        ${TAVRIN_SCAN_KERNEL_${tavrin_name}_NEEDS} ${tavrin_needs})
  endforeach()
endmacro()

# "Name" of a kernel's "name": its first letter capitalised.
function(tavrin_kernel_title name out)
  string(SUBSTRING ${name} 0 1 first)
  string(SUBSTRING ${name} 1 -1 rest)
  string(TOUPPER ${first} first)
  set(${out} ${first}${rest} PARENT_SCOPE)
endfunction()

# The CpuFeature bits of a list of feature names, as C++, and the names.
function(tavrin_feature_bits needs bits_out names_out)
  set(bits "")
  foreach(feature IN LISTS needs)
    tavrin_kernel_title(${feature} title)
    list(APPEND bits "CpuFeature::k${title}")
  endforeach()
  if(NOT bits)
    set(bits "CpuFeature::kNone")
  endif()
  list(JOIN bits " | " bits)
  list(JOIN needs " " names)
  set(${bits_out} "${bits}" PARENT_SCOPE)
  set(${names_out} "${names}" PARENT_SCOPE)
endfunction()

# Writes `output`: the C++ list of the kernels in TAVRIN_SCAN_KERNELS.
function(tavrin_write_scan_kernel_list output)
  set(entries "")
  foreach(name IN LISTS TAVRIN_SCAN_KERNELS)
    tavrin_kernel_title(${name} title)
    tavrin_feature_bits("${TAVRIN_SCAN_KERNEL_${name}_NEEDS}" bits names)
    string(APPEND entries "  X(${title}, \"${name}\", ${bits}, \"${names}\") \\\n")
  endforeach()
  set(utf8_entries "")
  foreach(name IN LISTS TAVRIN_UTF8_KERNELS)
    tavrin_kernel_title(${name} title)
    tavrin_feature_bits("${TAVRIN_UTF8_KERNEL_${name}_NEEDS}" bits names)
    string(APPEND utf8_entries "  X(${title}, \"${name}\", ${bits}, \"${names}\") \\\n")
  endforeach()
  file(CONFIGURE OUTPUT ${output} CONTENT [[
// Generated by CMake from src/matching/kernels/ScanKernels.cmake, with the
// kernels built for this processor; do not edit.
// X(Name, "name", the CpuFeature bits it needs, "the same as /proc/cpuinfo names them")
#ifndef TAVRIN_SCAN_KERNEL_LIST_H_
#define TAVRIN_SCAN_KERNEL_LIST_H_
#define TAVRIN_FOR_EACH_SCAN_KERNEL(X) \
${entries}
// The kernels with a UTF-8 to GBK block conversion, in the same order, each
// with everything its conversion needs.
#define TAVRIN_FOR_EACH_UTF8_KERNEL(X) \
${utf8_entries}
#endif
]])
endfunction()

# Fails the configuration when a folder under `kernels_dir` holds a kernel
# (a .cpp file) that no line of the list names: a kernel is never left out
# unseen.
function(tavrin_check_kernel_folders kernels_dir)
  set(listed "")
  foreach(line IN LISTS TAVRIN_SCAN_KERNEL_TABLE)
    separate_arguments(fields UNIX_COMMAND "${line}")
    list(GET fields 1 folder)
    list(APPEND listed ${folder})
  endforeach()
  file(GLOB kernel_files RELATIVE ${kernels_dir} CONFIGURE_DEPENDS ${kernels_dir}/*/*.cpp)
  foreach(file IN LISTS kernel_files)
    get_filename_component(folder ${file} DIRECTORY)
    if(NOT folder IN_LIST listed)
      message(FATAL_ERROR "kernels/${file} is in no line of the kernel list "
        "(src/matching/kernels/ScanKernels.cmake)")
    endif()
  endforeach()
endfunction()
