# The fuzz targets, by name: each is built from <Name>Fuzzer.cpp as
# fuzz_<Name>, with its seeds in corpus/<Name>/ and the inputs that once
# crashed it in regressions/<Name>/. CliLines needs the tool's line handling
# (TAVRIN_BUILD_TOOLS).
set(TAVRIN_FUZZ_TARGETS IsValidDifferential Filtrate CliLines)
