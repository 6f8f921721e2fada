#include "app/model/ClassifierLoading.h"

#include <fstream>
#include <string>

#include "core/OvraClassifier.h"

namespace ovra::supervisor {

namespace {

// The manifest lists a handful of files; anything bigger is not ours.
constexpr std::uintmax_t kMaxManifestBytes = 1024 * 1024;

class LoadedClassifier final : public Classifier {
  public:
    explicit LoadedClassifier(std::unique_ptr<OvraClassifier> classifier)
        : classifier_(std::move(classifier)) {}

    DecisionMap decide(const std::vector<UICandidate>& candidates, const std::string& appName,
                       const std::string& windowTitle, const Rect& window) override {
        auto decisions = classifier_->decide(candidates, appName, windowTitle, window);
        DecisionMap out;
        for (auto& [id, decision] : decisions)
            out.emplace(id, std::move(decision));
        return out;
    }

  private:
    std::unique_ptr<OvraClassifier> classifier_;
};

}  // namespace

ClassifierLoader ovraClassifierLoader(std::shared_ptr<const ModelRuntime> runtime) {
    return [runtime](const std::filesystem::path& model,
                     const std::filesystem::path& tokenizer) -> std::shared_ptr<Classifier> {
        auto classifier = std::make_unique<OvraClassifier>(runtime->load(model), tokenizer);
        return std::make_shared<LoadedClassifier>(std::move(classifier));
    };
}

std::optional<EngineManifest> readManifest(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > kMaxManifestBytes)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    auto manifest = EngineManifest::decode(text);
    if (!manifest)
        return std::nullopt;
    return std::move(manifest).value();
}

}  // namespace ovra::supervisor
