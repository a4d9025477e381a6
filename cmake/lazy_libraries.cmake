# Libraries that only some runs of the siblings need are loaded on their
# first call (siblings/common/lazy_libraries.h says why). For such a library
# mervik_lazy_library(cairo cairo) makes a target lazy_cairo to link instead of
# the library itself: a static library of one stand-in for each function the
# library exports, each a jump through a slot that its first call fills.
# The stand-ins are hidden, so that the programs do not offer them to the
# libraries they load.
#
# With MERVIK_LAZY_LIBRARIES off, or on a processor the stand-ins are not
# written for, lazy_cairo links the library as any other.
option(MERVIK_LAZY_LIBRARIES "Load the siblings' rendering and TIFF libraries on first use" ON)
if(MERVIK_LAZY_LIBRARIES AND NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  message(STATUS "Libraries load at start: no stand-ins for ${CMAKE_SYSTEM_PROCESSOR}")
  set(MERVIK_LAZY_LIBRARIES OFF)
endif()
if(MERVIK_LAZY_LIBRARIES)
  enable_language(ASM)
endif()

# mervik_read_library(OUT PATTERN MESSAGE COMMAND...): every match of
# PATTERN in what COMMAND prints; the configuration stops with MESSAGE when
# the command fails or nothing matches.
function(mervik_read_library out pattern message)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE failed)
  string(REGEX MATCHALL "${pattern}" found "${text}")
  if(failed OR NOT found)
    message(FATAL_ERROR "${message}")
  endif()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(mervik_lazy_library name module)
  string(MAKE_C_IDENTIFIER "${name}" id)
  set(target lazy_${name})
  pkg_check_modules(MERVIK_LAZY_${id} REQUIRED IMPORTED_TARGET ${module})
  find_library(MERVIK_LAZY_${id}_FILE NAMES ${name} REQUIRED
               HINTS ${MERVIK_LAZY_${id}_LIBRARY_DIRS})
  set(file "${MERVIK_LAZY_${id}_FILE}")
  mervik_read_library(found "SONAME +[^ \n]+" "${file}: no SONAME (objdump -p)"
                      "${CMAKE_OBJDUMP}" -p "${file}")
  string(REGEX REPLACE "^SONAME +" "" soname "${found}")
  # Code that must not load the library only to let go of it asks the
  # loader for it by this name (RTLD_NOLOAD).
  set(MERVIK_SONAME_${id} "${soname}" CACHE INTERNAL "")
  if(NOT MERVIK_LAZY_LIBRARIES)
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE PkgConfig::MERVIK_LAZY_${id})
    return()
  endif()
  # Functions only (T), weak ones (W) and those chosen at load time (i).
  mervik_read_library(lines "[0-9a-fA-F]+ [TWi] [A-Za-z_][A-Za-z0-9_]*"
                      "${file}: no functions (nm -D)" "${CMAKE_NM}" -D --defined-only "${file}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^.* " "" n "${line}")
    list(APPEND names "${n}")
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(SORT names)

  set(lib "mervik_lazy_${id}")
  set(stubs "")
  set(firsts "")
  set(slots "")
  set(strings "")
  set(table "")
  set(i 0)
  foreach(n IN LISTS names)
    string(APPEND stubs
      "\t.globl\t${n}\n\t.hidden\t${n}\n\t.type\t${n}, @function\n\t.p2align\t4\n${n}:\n"
      "\tENTRY\n\tjmp\t*${lib}_slots+${i}*8(%rip)\n\t.size\t${n}, .-${n}\n")
    string(APPEND firsts ".Lfirst_${i}:\n\tpushq\t$${i}\n\tjmp\t.Lresolve\n")
    string(APPEND slots "\t.quad\t.Lfirst_${i}\n")
    string(APPEND strings ".Lname_${i}:\t.asciz\t\"${n}\"\n")
    string(APPEND table "\t.quad\t.Lname_${i}\n")
    math(EXPR i "${i} + 1")
  endforeach()

  set(out "${CMAKE_BINARY_DIR}/lazy_libraries/${target}.S")
  file(CONFIGURE OUTPUT "${out}" @ONLY CONTENT [=[
/* Stand-ins for the functions of @soname@ (@file@), made by
   cmake/lazy_libraries.cmake. Each jumps through its slot; a slot first
   holds the way to .Lresolve, which keeps the caller's argument registers,
   asks mervik_lazy_resolve for the function and jumps to it. */
#if defined(__CET__)
#include <cet.h>
#define ENTRY endbr64
#else
#define ENTRY
#endif

	.text
@stubs@
	.p2align	4
@firsts@
/* Here the stack holds the stand-in's index above the caller's return
   address: pushing seven registers and 136 bytes aligns it to 16 again. */
.Lresolve:
	pushq	%rdi
	pushq	%rsi
	pushq	%rdx
	pushq	%rcx
	pushq	%r8
	pushq	%r9
	pushq	%rax
	subq	$136, %rsp
	movdqu	%xmm0, 0(%rsp)
	movdqu	%xmm1, 16(%rsp)
	movdqu	%xmm2, 32(%rsp)
	movdqu	%xmm3, 48(%rsp)
	movdqu	%xmm4, 64(%rsp)
	movdqu	%xmm5, 80(%rsp)
	movdqu	%xmm6, 96(%rsp)
	movdqu	%xmm7, 112(%rsp)
	leaq	@lib@(%rip), %rdi
	movq	192(%rsp), %rsi
	call	mervik_lazy_resolve@PLT
	movq	%rax, %r11
	movdqu	0(%rsp), %xmm0
	movdqu	16(%rsp), %xmm1
	movdqu	32(%rsp), %xmm2
	movdqu	48(%rsp), %xmm3
	movdqu	64(%rsp), %xmm4
	movdqu	80(%rsp), %xmm5
	movdqu	96(%rsp), %xmm6
	movdqu	112(%rsp), %xmm7
	addq	$136, %rsp
	popq	%rax
	popq	%r9
	popq	%r8
	popq	%rcx
	popq	%rdx
	popq	%rsi
	popq	%rdi
	addq	$8, %rsp
	jmp	*%r11

	.section	.rodata
.Lsoname:	.asciz	"@soname@"
@strings@
	.section	.data.rel.ro,"aw"
	.p2align	3
.Lnames:
@table@
	.data
	.p2align	3
@lib@_slots:
@slots@
/* struct MervikLazyLibrary */
	.p2align	3
@lib@:
	.quad	.Lsoname
	.quad	0
	.quad	.Lnames
	.quad	@lib@_slots
	.quad	@i@

	.section	.note.GNU-stack,"",@progbits
]=])
  add_library(${target} STATIC "${out}")
  # The library's headers and flags, without the library.
  target_include_directories(${target} SYSTEM PUBLIC ${MERVIK_LAZY_${id}_INCLUDE_DIRS})
  target_compile_options(${target} PUBLIC ${MERVIK_LAZY_${id}_CFLAGS_OTHER})
  target_link_libraries(${target} PUBLIC lazy_libraries ${CMAKE_DL_LIBS})
endfunction()
