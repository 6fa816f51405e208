# The window placement store's tests, in the app suite.
target_sources(test_app PRIVATE placement_test.cpp)
