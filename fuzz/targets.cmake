# The fuzz targets: fuzz/fuzz_<name>.cpp each. Shared by fuzz/ (libFuzzer
# builds) and tests/fuzz-regressions (replay of recorded inputs).
set(VARNEL_FUZZ_TARGETS document syntax flate lzw ascii85 predictor xrefstream recovery encrypted pubsec)
