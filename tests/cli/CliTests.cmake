# The formulist2 command as users and scripts call it. Each check runs the command through
# tests/cli/expect, which wants an exit code and a pattern in what the command printed.
# The checks read the Simplified Chinese texts whatever the locale of the machine running them.
set(F2_CLI_ENV "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/cli/config;XDG_DATA_HOME=${CMAKE_CURRENT_BINARY_DIR}/cli/data;XDG_CACHE_HOME=${CMAKE_CURRENT_BINARY_DIR}/cli/cache;LANGUAGE=C;LC_ALL=C.UTF-8;LC_MESSAGES=C.UTF-8;LANG=C.UTF-8")
set(F2_EXPECT ${CMAKE_CURRENT_SOURCE_DIR}/cli/expect)
set(F2_BAD ${CMAKE_CURRENT_SOURCE_DIR}/cli/catalogues)

# f2_cli(NAME CODE PATTERN ARG...): formulist2 ARG... exits with CODE and prints PATTERN (an
# extended regular expression).
function(f2_cli name code pattern)
  add_test(NAME cli_${name} COMMAND ${F2_EXPECT} ${code} ${pattern} $<TARGET_FILE:formulist2> ${ARGN})
  set_tests_properties(cli_${name} PROPERTIES ENVIRONMENT "${F2_CLI_ENV}")
endfunction()

f2_cli(compose_prints_the_expression 0 "^QMYE\\(\"1002\",2024,3,\"USD\",\"\"\\)$"
       --set RptYear=2024 compose QMYE 1002 2024 3 USD)
f2_cli(compose_of_an_unknown_function_fails 2 "报表系统不支持公式NOSUCH"
       --lang CHS compose NOSUCH)
# A name joined to a text reads as a sentence in English; Chinese joins them as they stand.
f2_cli(compose_of_an_unknown_function_fails_in_english 2 "^The report system does not support the formula NOSUCH!$"
       --lang EN compose NOSUCH)
f2_cli(compose_of_an_unknown_function_fails_in_traditional_chinese 2 "^報表系統不支援公式NOSUCH！$"
       --lang CHT compose NOSUCH)
add_test(NAME cli_wizard_without_a_display_says_so
         COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
                 ${F2_EXPECT} 2 "no display" $<TARGET_FILE:formulist2> wizard)
set_tests_properties(cli_wizard_without_a_display_says_so PROPERTIES ENVIRONMENT "${F2_CLI_ENV}")

# Every row text reaches its row exactly as given: brackets, commas, spaces, empty texts.
f2_cli(bracketed_empty_row 0 "^JEFS\\(REF\\(\"\",2\\),2024,3\\)$" --set CurSheetIndex=2 compose JEFS [] 2024 3)
f2_cli(bracketed_cell_row 0 "^JEFS\\(REF\\(\"A1\",2\\),2024,3\\)$" --set CurSheetIndex=2 compose JEFS [a1] 2024 3)
f2_cli(bracketed_list_row 0 "^JEFS\\(REF\\(\"A,B\",2\\),2024,3\\)$"
       --set CurSheetIndex=2 compose JEFS [a,b] 2024 3)
f2_cli(text_around_brackets 0 "^JEFS\\(REF\\(\"A1\",2\\),2024,3\\)$"
       --set CurSheetIndex=2 compose JEFS x[a1] 2024 3)
add_test(NAME cli_empty_and_spaced_rows  # written out: a function call would drop the empty arguments
         COMMAND ${F2_EXPECT} 0 "^QMYE\\(\"\",,3,\" A\",\"\"\\)$" $<TARGET_FILE:formulist2> compose QMYE "" "" 3 " a")
set_tests_properties(cli_empty_and_spaced_rows PROPERTIES ENVIRONMENT "${F2_CLI_ENV}")

# Rows past the eighth, and the last row of a full variable list.
set(accounts)
foreach(n RANGE 1001 1020)
  list(APPEND accounts ${n})
endforeach()
string(REPLACE ";" "\",\"" joined "${accounts}")
f2_cli(twenty_accounts 0 "^HJQM\\(\"${joined}\"\\)$" compose HJQM ${accounts})
f2_cli(too_many_rows 2 "QMYE takes 5 parameters, 7 were given" compose QMYE 1 2 3 4 5 6 7)
f2_cli(datediff 0 "^DATEDIFF\\(\"m\",\"2024-01-01\",\"2024-03-01\"\\)$" compose DATEDIFF m 2024-01-01 2024-03-01)

# Options go before or after the subcommand; a usage error exits 2 with the parser's message.
f2_cli(options_after_the_subcommand 0 "^QMYE\\(\"1002\",2024," compose QMYE 1002 2024 --lang CHS --set RptYear=2024)
f2_cli(usage_error 2 "NAME is required" compose)
f2_cli(unknown_language 2 "--lang" --lang XX members)
f2_cli(set_names_the_property 2 "--set RptYear=abc: Type mismatch" --set RptYear=abc compose QMYE)

# A catalogue or data folder that cannot be read is reported with its place before any dialog.
f2_cli(missing_catalogue 2 "/nonexistent/catalogue.*does not exist" --catalogue /nonexistent/catalogue compose QMYE)
f2_cli(invalid_catalogue 2 "invalid.json.*line 3, column" --catalogue ${F2_BAD}/invalid.json compose QMYE)
f2_cli(endless_catalogue 2 "larger than" --catalogue /dev/zero compose QMYE)
f2_cli(missing_data_folder 2 "/nonexistent/data: no such data folder" --data /nonexistent/data compose QMYE)
foreach(bad list-number type-text variable-text type-huge type-fraction maxparams-huge beyond-double)
  f2_cli(catalogue_${bad} 2 "${bad}.json.*(BAD|out of range)" --catalogue ${F2_BAD}/${bad}.json compose BAD)
endforeach()

# The catalogue answers in the process language.
f2_cli(english_parameter_names 0 "Account code" --lang EN describe QMYE)

# The values F7 offers, as scripts read them.
f2_cli(values_of_the_account_row 0 "科目代码\t科目名称.*\n1001\t" values QMYE 1)
f2_cli(values_of_a_row_without_a_list 2 "会计年度没有可选的列表值!" values QMYE 2)
f2_cli(values_of_a_row_without_a_list_in_english 2 "^Year: there are no list values to choose from!$"
       --lang EN values QMYE 2)
f2_cli(values_with_texts_past_the_row 2 "texts for the rows before it" values QMYE 1 1002)

# A batch recalled as a host recalls it, and batch files that cannot be read.
set(F2_BATCHES ${CMAKE_CURRENT_SOURCE_DIR}/cli/batches)
f2_cli(recall_references 0 "^ \\{\"value\":116389.67\\},$" recall REF_F --batch ${F2_BATCHES}/refs.json)
f2_cli(recall_reference_errors 0 "^ \\{\"error\":\"#参数错误\",\"value\":null\\}$" recall REF_F --batch ${F2_BATCHES}/refs.json)
f2_cli(recall_a_call_that_is_not_a_list 2 "not-a-list.json: call 2 is not an array" recall QMYE --batch ${F2_BATCHES}/not-a-list.json)
f2_cli(recall_broken_json 2 "broken.json: not valid JSON" recall QMYE --batch ${F2_BATCHES}/broken.json)
f2_cli(recall_missing_file 2 "nothing.json: cannot be read" recall QMYE --batch ${F2_BATCHES}/nothing.json)

# A whole call read back into the rows the editor opens with.
f2_cli(parse_prints_the_rows 0 "科目代码.\\[B7\\]"
       --lang CHS --set CurSheetIndex=2 parse "QMYE(REF(\"B7\",2),2024,3,\"USD\",\"\")")
f2_cli(parse_of_an_open_call_fails 2 "无法读取公式：QMYE\\(\"1002\"" --lang CHS parse "QMYE(\"1002\"")

# The picker's search for scripts: ranked, by name and by the pinyin of descriptions.
f2_cli(search_by_pinyin 0 "^QCYE.账务函数.期初余额" --lang CHS search yue)
f2_cli(search_finds_nothing 1 "no function matches 'qqqq'" search qqqq)

# What scripts read: standard output and standard error apart, exit codes, the --json documents.
foreach(case empty_batch recall_output fail_on_error json_forms compose_check)
  add_test(NAME cli_scripting_${case}
           COMMAND ${CMAKE_COMMAND} -DFORMULIST2=$<TARGET_FILE:formulist2> -DBATCHES=${F2_BATCHES} -DCASE=${case}
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/cli/Scripting.cmake)
  set_tests_properties(cli_scripting_${case} PROPERTIES ENVIRONMENT "${F2_CLI_ENV}")
endforeach()

# Bad input of every kind, as one table: each answered with exit 2 and the problem named, or done.
add_executable(cli_bad_input_tests ${CMAKE_CURRENT_SOURCE_DIR}/cli/BadInputTest.cpp)
target_link_libraries(cli_bad_input_tests PRIVATE GTest::gtest_main)
target_compile_definitions(cli_bad_input_tests PRIVATE F2_FORMULIST2="$<TARGET_FILE:formulist2>")
add_dependencies(cli_bad_input_tests formulist2)
gtest_discover_tests(cli_bad_input_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
