#pragma once

// Helpers shared by the fuzz targets. They are plain C++ on purpose: the targets link neither
// GoogleTest nor the test support library, only the core sources built with the sanitizers.

// Makes a fresh temporary directory the working directory for the rest of the process and removes
// it when the process exits normally. Targets whose code under test writes relative paths call it
// from LLVMFuzzerInitialize, so every input runs in a clean, private place. libFuzzer reads its
// arguments after that call, so relative corpus folders, input files and artifact paths among them
// are made absolute first: they keep naming what the caller meant.
void enter_scratch_dir(const char* purpose, int* argc, char*** argv);

// Reports a property of the code under test that does not hold, and aborts: libFuzzer then keeps
// the input as a crash, exactly as it does for a sanitizer report.
[[noreturn]] void fuzz_fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
