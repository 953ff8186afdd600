# The CTest fixture "wine" for tests that run Windows programs under wine:
# wine_up starts the prefix's services and holds its server up before the
# first of them, wine_down lets it go after the last (tests/wine/keeper.sh
# says why). A test joins with FIXTURES_REQUIRED wine.
include_guard(GLOBAL)

function(recmeter_wine_fixture)
  set(keeper sh ${CMAKE_SOURCE_DIR}/tests/wine/keeper.sh)
  set(state ${CMAKE_BINARY_DIR}/wine-keeper)
  add_test(NAME wine_up COMMAND ${keeper} start ${state})
  add_test(NAME wine_down COMMAND ${keeper} stop ${state})
  set_tests_properties(wine_up PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_down PROPERTIES FIXTURES_CLEANUP wine)
endfunction()
