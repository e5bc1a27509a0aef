# What a script reads from formulist2: standard output and standard error apart, the exit code, and
# the documents of the --json forms read as JSON:
#   cmake -DFORMULIST2=<program> -DBATCHES=<folder> -DCASE=<case> -P Scripting.cmake
string(ASCII 9 tab)

# f2(CODE ARG...): runs formulist2, wants exit code CODE, and sets out and err in the caller.
function(f2 wanted)
  execute_process(COMMAND "${FORMULIST2}" ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE o ERROR_VARIABLE e)
  list(JOIN ARGN " " args)
  set(ran "formulist2 ${args}" PARENT_SCOPE)
  if(NOT code STREQUAL "${wanted}")
    message(FATAL_ERROR "formulist2 ${args}: exit code ${code}, wanted ${wanted}\n${o}\n${e}")
  endif()
  set(out "${o}" PARENT_SCOPE)
  set(err "${e}" PARENT_SCOPE)
endfunction()

function(expect_equal actual wanted what)
  if(NOT "${actual}" STREQUAL "${wanted}")
    message(FATAL_ERROR "${ran}: ${what} is\n[${actual}]\nwanted\n[${wanted}]")
  endif()
endfunction()

# json(VAR GET|LENGTH JSON PATH...): the member at PATH of the document, or its length; fails when the
# document is no JSON or has no such member.
function(json var mode doc)
  string(JSON value ERROR_VARIABLE problem ${mode} "${doc}" ${ARGN})
  if(problem)
    message(FATAL_ERROR "${ran}: ${ARGN}: ${problem}\n${doc}")
  endif()
  set(${var} "${value}" PARENT_SCOPE)
endfunction()

# as_text(VAR JSON ARRAY INDENT MEMBER...): each element of the array as a text line: INDENT, then its
# members tab-separated, as the text forms print them.
function(as_text var doc array indent)
  json(n LENGTH "${doc}" ${array})
  set(text "")
  if(n GREATER 0)
    math(EXPR last "${n} - 1")
    foreach(i RANGE ${last})
      set(line "${indent}")
      set(separator "")
      foreach(member ${ARGN})
        json(value GET "${doc}" ${array} ${i} ${member})
        string(APPEND line "${separator}${value}")
        set(separator "${tab}")
      endforeach()
      string(APPEND text "${line}\n")
    endforeach()
  endif()
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

set(ledger "${BATCHES}/ledger.json")  # a good call, an unknown account, a period beyond the year
set(rows " {\"value\":122025.48},\n {\"error\":\"#科目不存在\",\"value\":null},\n")
string(APPEND rows " {\"error\":\"#期间不存在\",\"value\":null}\n")

if(CASE STREQUAL "empty_batch")
  # An empty batch is recalled as no calls, whichever path the function takes.
  foreach(function QMYE REF_F VEX_REF_F CS_REF_F)
    f2(0 recall ${function} --batch "${BATCHES}/empty.json")
    expect_equal("${out}${err}" "[\n]\n" "the output")
    f2(0 recall ${function} --batch "${BATCHES}/empty.json" --json)
    expect_equal("${out}${err}" "{\"function\":\"${function}\",\"status\":0,\"calls\":0,\"errors\":0,\"rows\":[\n]}\n"
                 "the document")
    json(n LENGTH "${out}" rows)
  endforeach()

elseif(CASE STREQUAL "recall_output")
  # Calls with errors are answered, not failed: exit 0, and nothing on standard error.
  f2(0 recall QMYE --batch "${ledger}")
  expect_equal("${out}${err}" "[\n${rows}]\n" "the output")
  f2(0 recall QMYE --batch "${ledger}" --status)
  expect_equal("${out}${err}" "[\n${rows}]\n{\"status\":2,\"calls\":3,\"errors\":2}\n" "the output")
  f2(0 recall QMYE --batch "${ledger}" --json)
  expect_equal("${out}${err}" "{\"function\":\"QMYE\",\"status\":2,\"calls\":3,\"errors\":2,\"rows\":[\n${rows}]}\n"
               "the document")
  json(error GET "${out}" rows 2 error)
  expect_equal("${error}" "#期间不存在" "the third row's error")

elseif(CASE STREQUAL "fail_on_error")
  # --fail-on-error fails on a call with an error only, after printing the same.
  f2(3 recall QMYE --batch "${ledger}" --fail-on-error)
  expect_equal("${out}${err}" "[\n${rows}]\n" "the output")
  f2(3 recall QMYE --batch "${ledger}" --json --fail-on-error)
  json(errors GET "${out}" errors)
  expect_equal("${errors}" 2 "the calls with errors")
  f2(0 recall QMYE --batch "${BATCHES}/good.json" --fail-on-error)
  expect_equal("${err}" "" "standard error")

elseif(CASE STREQUAL "json_forms")
  # Each --json document holds what the text form prints: the text is written again from it.
  f2(0 --set CurSheetIndex=2 parse "QMYE(REF(\"B7\",2),2024,3,\"USD\",\"\")")
  set(text "${out}")
  f2(0 --set CurSheetIndex=2 parse "QMYE(REF(\"B7\",2),2024,3,\"USD\",\"\")" --json)
  json(again GET "${out}" function)
  as_text(lines "${out}" rows "  " name text)
  expect_equal("${again}\n${lines}${err}" "${text}" "parse --json as text")

  f2(0 describe QMYE)
  set(text "${out}")
  f2(0 describe QMYE --json)
  json(function GET "${out}" function)
  json(description GET "${out}" description)
  as_text(lines "${out}" rows "  " name description)
  expect_equal("${function}\n${description}\n${lines}${err}" "${text}" "describe --json as text")

  f2(0 search yue)
  set(text "${out}")
  f2(0 search yue --json)
  as_text(lines "${out}" functions "" name group description)
  expect_equal("${lines}${err}" "${text}" "search --json as text")
  f2(1 search qqqq --json)  # nothing found is still a document
  json(n LENGTH "${out}" functions)
  expect_equal("${n}" 0 "the functions found")

  f2(0 values QMYE 3 1002 2024)
  set(text "${out}")
  f2(0 values QMYE 3 1002 2024 --json)
  json(header GET "${out}" columns)  # the array's JSON text
  as_text(lines "{\"rows\":[${header}]}" rows "" 0 1 2)
  as_text(more "${out}" values "" 0 1 2)
  expect_equal("${lines}${more}${err}" "${text}" "values --json as text")

elseif(CASE STREQUAL "compose_check")
  # Each problem on standard error names its row; the formula is printed all the same.
  f2(3 --lang CHS compose --check QMYE 9999 2024 3)
  expect_equal("${out}${err}" "QMYE(\"9999\",2024,3,\"\",\"\")\nformulist2: 科目代码 \"9999\": #科目不存在\n" "the output")
  f2(3 --lang CHS compose --check QMYE 1002 2024 13)
  expect_equal("${err}" "formulist2: 会计期间 \"13\": #期间不存在\n" "standard error")
  f2(3 --lang CHS compose --check LJFS 1002 2024 13 14)  # two period rows, both named
  expect_equal("${err}" "formulist2: 起始期间 \"13\", 截止期间 \"14\": #期间不存在\n" "standard error")
  f2(3 --lang CHS compose --check QMYE 1002 20x4 3)  # a type hint's mark; such a formula is not recalled
  expect_equal("${err}" "formulist2: 会计年度 \"20x4\": 与类型不符 (数值)\n" "standard error")
  # Good rows, and a cell only the host knows: exit 0, nothing on standard error.
  f2(0 --lang CHS compose --check QMYE 1002 2024 3 USD)
  expect_equal("${out}${err}" "QMYE(\"1002\",2024,3,\"USD\",\"\")\n" "the output")
  f2(0 --lang CHS --set CurSheetIndex=2 compose --check QMYE [b3] 2024 3)
  expect_equal("${err}" "" "standard error")
  f2(3 --lang EN compose --check QMYE 1002 20x4 3)  # rows named in the language of the texts
  expect_equal("${err}" "formulist2: Year \"20x4\": does not fit the type (Number)\n" "standard error")
  # Without --check the same rows compose as always.
  f2(0 --lang CHS compose QMYE 9999 2024 13)
  expect_equal("${out}${err}" "QMYE(\"9999\",2024,13,\"\",\"\")\n" "the output")

else()
  message(FATAL_ERROR "no such case: '${CASE}'")
endif()
