#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/Json.h"
#include "core/OvraClassifier.h"
#include "core/StateText.h"
#include "platform/model/ModelModule.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

fs::path sourceDir() {
    const char* root = std::getenv("OVRA_SOURCE_DIR");
    return root ? fs::path(root) : fs::path(".");
}

fs::path modelFixture(const std::string& name) {
    return sourceDir() / "platform/model/tests/fixtures" / name;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The files of the libraries mapped into this process whose path holds `part`.
std::set<std::string> mapped(const std::string& part) {
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> files;
    for (std::string line; std::getline(maps, line);) {
        if (line.find(part) != std::string::npos)
            files.insert(line.substr(line.find('/')));
    }
    return files;
}

// A fresh folder per test, removed afterwards.
class TorchModelRuntimeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ovra-model-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        scratch_ = pattern;
    }
    void TearDown() override { fs::remove_all(scratch_); }

    std::set<std::string> entries(const fs::path& folder) const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.insert(e.path().filename());
        return names;
    }

    const std::unique_ptr<ModelRuntime> runtime_ = makeTorchModelRuntime();
    fs::path scratch_;
};

struct Expected {
    ModelInput input;
    std::map<std::string, std::vector<std::vector<double>>> outputs;
};

// The batch and answers written by the fixture generator, computed by PyTorch itself.
Expected expectedOutputs() {
    const Json j = *json::parse(readFile(modelFixture("expected-outputs.json")));
    Expected e;
    for (const auto& row : j["input_ids"])
        e.input.inputIds.insert(e.input.inputIds.end(), row.begin(), row.end());
    for (const auto& row : j["attention_mask"])
        e.input.attentionMask.insert(e.input.attentionMask.end(), row.begin(), row.end());
    for (const auto& [name, rows] : j["outputs"].items()) {
        e.outputs[name] = rows.get<std::vector<std::vector<double>>>();
    }
    return e;
}

void expectOutputsMatch(const ModelOutputs& actual, const Expected& expected) {
    ASSERT_FALSE(ModelInterface::problem(actual).has_value());
    for (const auto& [name, rows] : expected.outputs) {
        const ModelArray& array = actual.at(name);
        ASSERT_EQ(array.shape[0], static_cast<std::int64_t>(rows.size())) << name;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            ASSERT_EQ(array.shape[1], static_cast<std::int64_t>(rows[r].size())) << name;
            for (std::size_t k = 0; k < rows[r].size(); ++k) {
                EXPECT_NEAR(array.at(r, k), rows[r][k], 1e-6)
                    << name << "[" << r << "," << k << "]";
            }
        }
    }
}

TEST_F(TorchModelRuntimeTest, PackageAndCompiledModelAnswerAsPyTorchDoes) {
    // LibTorch, and Qt 5 with it, come in with the first model only.
    EXPECT_THAT(mapped("libtorch"), ::testing::IsEmpty());
    EXPECT_THAT(mapped("libQt5"), ::testing::IsEmpty());
    const Expected expected = expectedOutputs();
    const auto runner = runtime_->load(modelFixture("OvraClassifier.mlpackage"));
    // Twice: evaluation mode turns the dropout off, so answers are repeatable.
    expectOutputsMatch(runner->predict(expected.input), expected);
    expectOutputsMatch(runner->predict(expected.input), expected);

    // Compiling leaves only the compiled folder.
    const fs::path compiled = scratch_ / "models" / "OvraClassifier.mlmodelc";
    runtime_->compile(modelFixture("OvraClassifier.mlpackage"), compiled);
    EXPECT_EQ(entries(scratch_ / "models"), std::set<std::string>{"OvraClassifier.mlmodelc"});
    EXPECT_EQ(entries(compiled), std::set<std::string>{"model.pt"});
    // The compiled file is the frozen model, not a copy of the package's.
    EXPECT_NE(readFile(compiled / "model.pt"),
              readFile(modelFixture("OvraClassifier.mlpackage/model.pt")));
    expectOutputsMatch(runtime_->load(compiled)->predict(expected.input), expected);

    // Compiling again replaces the folder.
    fs::remove(compiled / "model.pt");
    std::ofstream(compiled / "stale") << "x";
    runtime_->compile(modelFixture("OvraClassifier.mlpackage"), compiled);
    EXPECT_EQ(entries(compiled), std::set<std::string>{"model.pt"});
}

TEST_F(TorchModelRuntimeTest, UnusableModelsAreRefusedAndLeaveNothingBehind) {
    fs::create_directories(scratch_ / "garbage.mlpackage");
    std::ofstream(scratch_ / "garbage.mlpackage" / "model.pt") << "not a model";
    const fs::path compiled = scratch_ / "out" / "OvraClassifier.mlmodelc";
    runtime_->compile(modelFixture("OvraClassifier.mlpackage"), compiled);
    const std::string good = readFile(compiled / "model.pt");

    struct Case {
        fs::path package;
        const char* message;
    };
    const std::vector<Case> cases = {
        {modelFixture("missing-priority.mlpackage"), "no output \"priority\""},
        {modelFixture("tensor-output.mlpackage"), "no output \"category\""},
        {scratch_ / "garbage.mlpackage", "cannot be compiled"},
        {scratch_ / "absent.mlpackage", "no model file"},
    };
    for (const Case& c : cases) {
        EXPECT_THAT([&] { runtime_->compile(c.package, compiled); },
                    ThrowsMessage<ModelError>(HasSubstr(c.message)))
            << c.package;
        EXPECT_THAT([&] { runtime_->load(c.package); },
                    ThrowsMessage<ModelError>(HasSubstr(c.message)))
            << c.package;
        // The working model stays in place, and no half-made folder is left.
        EXPECT_EQ(readFile(compiled / "model.pt"), good);
        EXPECT_EQ(entries(scratch_ / "out"), std::set<std::string>{"OvraClassifier.mlmodelc"});
    }
    EXPECT_THAT([&] { runtime_->load(scratch_ / "absent.mlmodelc"); },
                ThrowsMessage<ModelError>(HasSubstr("no model file")));
    fs::create_directories(scratch_ / "bad.mlmodelc");
    fs::copy_file(scratch_ / "garbage.mlpackage" / "model.pt", scratch_ / "bad.mlmodelc/model.pt");
    EXPECT_THAT([&] { runtime_->load(scratch_ / "bad.mlmodelc"); },
                ThrowsMessage<ModelError>(HasSubstr("cannot be loaded")));
}

TEST_F(TorchModelRuntimeTest, BadBatchesFailThePredictionNotTheProcess) {
    const auto runner = runtime_->load(modelFixture("OvraClassifier.mlpackage"));
    ModelInput input = ModelInterface::fillerBatch(0);
    input.inputIds[5] = 5000;  // past the model's vocabulary
    EXPECT_THAT([&] { runner->predict(input); },
                ThrowsMessage<ModelError>(HasSubstr("index out of range")));
    input.inputIds[5] = -1;
    EXPECT_THROW(runner->predict(input), ModelError);
    EXPECT_THAT([&] { runner->predict(ModelInput{}); },
                ThrowsMessage<ModelError>(HasSubstr("24 x 128")));
    // The runner still answers afterwards.
    EXPECT_FALSE(ModelInterface::problem(runner->predict(ModelInterface::fillerBatch(0))));
}

TEST_F(TorchModelRuntimeTest, LinearAlgebraRunsOnOpenBlas) {
    // The reference BLAS makes one batch of a real encoder take tens of seconds.
    runtime_->load(modelFixture("OvraClassifier.mlpackage"))
        ->predict(ModelInterface::fillerBatch(0));
    const std::set<std::string> blas = mapped("libblas.so");
    ASSERT_FALSE(blas.empty()) << "LibTorch loaded no BLAS library";
    for (const std::string& library : blas) {
        EXPECT_THAT(library, HasSubstr("openblas"))
            << "libblas.so.3 is not OpenBLAS: install libopenblas0-pthread and select it with "
               "update-alternatives --set libblas.so.3-x86_64-linux-gnu "
               "/usr/lib/x86_64-linux-gnu/openblas-pthread/libblas.so.3";
    }
}

TEST_F(TorchModelRuntimeTest, AMissingOrBrokenModuleFailsTheModelOnly) {
    std::ofstream(scratch_ / "garbage.so") << "not a library";
    Dl_info libm{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&std::cos)), &libm),
              0);
    struct Case {
        std::vector<fs::path> candidates;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{}, "the model runtime is not installed"},
        {{scratch_ / "absent.so"}, "is not installed (no " + (scratch_ / "absent.so").string()},
        {{scratch_ / "garbage.so"}, "the model runtime cannot be opened"},
        {{scratch_ / "absent.so", libm.dli_fname}, "does not fit this app"},
    };
    for (const Case& c : cases) {
        const auto runtime = modelmodule::openOnFirstUse(c.candidates);
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_THAT([&] { runtime->load(modelFixture("OvraClassifier.mlpackage")); },
                        ThrowsMessage<ModelError>(HasSubstr(c.message)));
            EXPECT_THAT(
                [&] {
                    runtime->compile(modelFixture("OvraClassifier.mlpackage"),
                                     scratch_ / "out.mlmodelc");
                },
                ThrowsMessage<ModelError>(HasSubstr(c.message)));
        }
    }
    EXPECT_FALSE(fs::exists(scratch_ / "out.mlmodelc"));
}

TEST_F(TorchModelRuntimeTest, ClassifierRunsTheRealModelEndToEnd) {
    auto runner = runtime_->load(modelFixture("OvraClassifier.mlpackage"));
    const OvraClassifier classifier(std::move(runner), sourceDir() /
                                                           "core/tests/fixtures/tokenizer/"
                                                           "bytelevel.json");
    std::vector<UICandidate> candidates;
    const char* labels[] = {"Place order", "No thanks", "Accept all cookies", "Close",
                            "Upgrade to premium"};
    for (int i = 0; i < 30; ++i) {
        UICandidate c;
        c.id = "c" + std::to_string(i + 1);
        c.role = i % 3 ? "AXButton" : "AXLink";
        c.title = labels[i % 5];
        c.frame = Rect(40.0 * i, 25.0 * i, 120, 30);
        candidates.push_back(c);
    }
    const auto decisions =
        classifier.decide(candidates, "Firefox", "Checkout", Rect(0, 0, 1280, 800));
    ASSERT_EQ(decisions.size(), candidates.size());

    // The model answers softmax rows, so each decision's probabilities sum to 1 (up to the
    // rounding to 4 places) and its level lies between 0 and 2.
    std::set<double> essentials;
    for (const auto& [id, d] : decisions) {
        EXPECT_EQ(d.id, id);
        double sum = 0;
        for (const auto& [label, p] : d.classificationProbabilities)
            sum += p;
        EXPECT_NEAR(sum, 1.0, 4 * 0.00005) << id;
        EXPECT_EQ(d.classificationProbabilities.size(), 4u);
        EXPECT_GE(d.focusScore, 0.0);
        EXPECT_LE(d.focusScore, 2.0);
        EXPECT_GE(d.priority, 0.0);
        EXPECT_LE(d.priority, 1.0);
        essentials.insert(d.isEssential);
    }
    // Different texts give different answers: the rows reach the model in their own places.
    EXPECT_GE(essentials.size(), 5u);
    // Identical texts in different batches give identical answers.
    candidates[25] = candidates[0];
    candidates[25].id = "c26";
    const auto again = classifier.decide(candidates, "Firefox", "Checkout", Rect(0, 0, 1280, 800));
    EXPECT_EQ(again.at("c26").isEssential, again.at("c1").isEssential);
    EXPECT_EQ(again.at("c26").classificationProbabilities,
              again.at("c1").classificationProbabilities);
}

}  // namespace
}  // namespace ovra
