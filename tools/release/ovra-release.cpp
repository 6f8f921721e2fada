// ovra-release: packs and signs a release of Murmlark Ovra. See README.md beside this file.
//
//   ovra-release pack --layout DIR --version 1.5.0 --key KEY.pem --out DIR
//                     --base-url https://qeld.ai/ovra [--notes TEXT] [--critical]
//                     [--platform linux-x86_64]
//   ovra-release public-key --key KEY.pem

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "tools/release/ReleasePack.h"

namespace {

using namespace ovra;

int usage() {
    std::cerr << "usage: ovra-release pack --layout DIR --version VERSION --key KEY.pem --out DIR\n"
                 "                         --base-url URL [--notes TEXT] [--critical]"
                 " [--platform NAME]\n"
                 "       ovra-release public-key --key KEY.pem\n";
    return 2;
}

std::optional<crypto::Ed25519PrivateKey> loadKey(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream pem;
    pem << in.rdbuf();
    auto key = crypto::Ed25519PrivateKey::fromPem(pem.str());
    if (!key) {
        std::cerr << "ovra-release: " << file << ": " << key.error() << "\n";
        return std::nullopt;
    }
    return std::move(key).value();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    std::map<std::string, std::string> options;
    for (int i = 2; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--critical") {
            options[name] = "yes";
        } else if (name.starts_with("--") && i + 1 < argc) {
            options[name] = argv[++i];
        } else {
            return usage();
        }
    }
    if (!options.contains("--key"))
        return usage();
    const auto key = loadKey(options["--key"]);
    if (!key)
        return 1;
    if (command == "public-key") {
        std::cout << crypto::toHex(key->publicKey()) << "\n";
        return 0;
    }
    if (command != "pack")
        return usage();
    for (const char* required : {"--layout", "--version", "--out", "--base-url"}) {
        if (!options.contains(required))
            return usage();
    }
    release::PackRequest request;
    request.layout = options["--layout"];
    request.version = options["--version"];
    request.outFolder = options["--out"];
    request.baseURL = options["--base-url"];
    if (options.contains("--notes"))
        request.notes = options["--notes"];
    request.critical = options.contains("--critical");
    if (options.contains("--platform"))
        request.platform = options["--platform"];
    const auto packed = release::packRelease(request, *key);
    if (!packed) {
        std::cerr << "ovra-release: " << packed.error() << "\n";
        return 1;
    }
    std::cout << packed->archive.string() << "\n"
              << packed->signature.string() << "\n"
              << packed->manifest.string() << "\n";
    return 0;
}
