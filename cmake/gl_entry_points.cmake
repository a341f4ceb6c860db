# Writes the table of OpenGL entry points with the extension or GL version that brings each one,
# read from the GL headers: every "gl..." prototype under its "#ifndef GL_..." block of the
# extension header, then the core header's prototypes that the extension header lacks: GL 1.1
# outside any block, else the block's extension (the core header has a few blocks of its own).
# A name brought by several blocks has one row for each. Both "GLAPIENTRY glFoo(" (core header)
# and "APIENTRY glFoo (" (extension header) prototypes are read.
# Usage: cmake -DGLEXT=<glext header> -DGLCORE=<gl header> -DOUT=<file> -P gl_entry_points.cmake
set(entries "")

file(STRINGS "${GLEXT}" lines REGEX "^#ifndef GL_[A-Za-z0-9_]+$|APIENTRY gl[A-Za-z0-9_]+ ?\\(")
set(block "")
foreach(line IN LISTS lines)
  if(line MATCHES "^#ifndef (GL_[A-Za-z0-9_]+)$")
    set(block "${CMAKE_MATCH_1}")
  elseif(line MATCHES "APIENTRY (gl[A-Za-z0-9_]+) ?\\(" AND NOT block STREQUAL "")
    # A name may come with several blocks (a GL version and the extension it grew from).
    set(name "${CMAKE_MATCH_1}")
    if(NOT DEFINED seen_${name}_${block})
      set(seen_${name}_${block} 1)
      set(seen_${name} 1)
      list(APPEND entries "${name} ${block}")
    endif()
  endif()
endforeach()

# The core header's blocks end at their own "#endif", so conditionals are counted to find it.
file(STRINGS "${GLCORE}" lines REGEX "^#[ \t]*(if|endif)|APIENTRY gl[A-Za-z0-9_]+ ?\\(")
set(block "")
set(depth 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^#[ \t]*if")
    math(EXPR depth "${depth} + 1")
    if(block STREQUAL "" AND line MATCHES "^#ifndef (GL_[A-Za-z0-9_]+)$")
      set(block "${CMAKE_MATCH_1}")
      set(block_depth ${depth})
    endif()
  elseif(line MATCHES "^#[ \t]*endif")
    if(NOT block STREQUAL "" AND depth EQUAL block_depth)
      set(block "")
    endif()
    math(EXPR depth "${depth} - 1")
  elseif(line MATCHES "APIENTRY (gl[A-Za-z0-9_]+) ?\\(")
    set(name "${CMAKE_MATCH_1}")
    if(NOT DEFINED seen_${name})
      set(seen_${name} 1)
      if(block STREQUAL "")
        list(APPEND entries "${name} GL_VERSION_1_1")
      else()
        list(APPEND entries "${name} ${block}")
      endif()
    endif()
  endif()
endforeach()

# A blank sorts below every character of a name, so the order is the names' byte order.
list(SORT entries)
set(text "// Generated at build time from the GL headers: entry point, and the extension or GL version\n// that brings it, in the names' byte order.\n")
foreach(entry IN LISTS entries)
  string(REPLACE " " "\", \"" pair "${entry}")
  string(APPEND text "{\"${pair}\"},\n")
endforeach()
file(WRITE "${OUT}.tmp" "${text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
