#pragma once
// A test suite over the sample media, written once for all its tests, which
// only read them (writing them takes seconds under the sanitizers).

#include "builders/samplemedia.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

class SampleMediaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sample = new TempDir;
        written = !WriteSampleMedia(sample->path()).empty();
    }
    static void TearDownTestSuite() {
        delete sample;
        sample = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(written); }

    static inline TempDir* sample = nullptr;
    static inline bool written = false;
};
