#pragma once

// A pause at a named point of the code, for tests that must hold a race
// window open: builds made with the tests (TIDEWIRE_TESTS) read
// TIDEWIRE_TEST_PAUSE="<point>:<milliseconds>" and, at that point, log
// "test pause at <point>" and block the calling thread for that long.
// Other points, and every other build, go straight on.
void testPause(const char* point);
