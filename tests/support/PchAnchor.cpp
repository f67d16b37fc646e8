// Gives the tests' shared precompiled header a target to be built for.
