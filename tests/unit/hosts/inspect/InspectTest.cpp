#include "tests/support/TokenBuilder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zibbles {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the inspector with the arguments, feeding it input on standard input.
Outcome inspect(const std::string& arguments, const std::string& input) {
    const fs::path dir =
        fs::temp_directory_path() / ("zibbles-inspect-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "in", std::ios::binary) << input;
    const std::string command = std::string(ZIBBLES_BINARY_DIR) + "/hosts/zibbles-inspect " +
                                arguments + " <" + (dir / "in").string() + " >" +
                                (dir / "out").string() + " 2>" + (dir / "err").string();
    const int raw = std::system(command.c_str());
    Outcome run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "out"), slurp(dir / "err")};
    fs::remove_all(dir);
    return run;
}

const std::string kSvg = "<svg><rect x='2' y='3' width='4' height='5' fill='#f0a'/>"
                         "<rect x='10' y='1' fill='#11223344'/></svg>";
const std::string kPixelsJson = R"("pixels":[[2,3,4,5,"#ff00aaff"],[10,1,1,1,"#11223344"]],)"
                                R"("content":[2,1,9,7]})";

TEST(Inspect, recognisesEveryStage) {
    const std::string uri = testing::tokenUriOfSvg(kSvg);
    const std::string hex = testing::abiEncodeString(uri);
    struct Case {
        const char* name;
        std::string input;
        std::string stages;
    } cases[] = {
        {"JSON-RPC body", testing::rpcBodyOf(hex), R"(["rpc","abi","uri","svg"])"},
        {"hex result", hex + "\n", R"(["abi","uri","svg"])"},
        {"hex without prefix", "  " + hex.substr(2), R"(["abi","uri","svg"])"},
        {"token URI", uri, R"(["uri","svg"])"},
        {"SVG document", "\n" + kSvg, R"(["svg"])"},
    };
    for (const auto& c : cases) {
        const Outcome run = inspect("", c.input);
        EXPECT_EQ(run.status, 0) << c.name << ": " << run.err;
        EXPECT_EQ(run.out, "{\"stages\":" + c.stages + "," + kPixelsJson + "\n") << c.name;
    }
}

TEST(Inspect, failuresNameStageAndReason) {
    const std::string payload = testing::base64Encode(testing::metadataWithImage("<svg/>"));
    struct Case {
        std::string input;
        std::string message;
    } cases[] = {
        {"data:application/json;base64," + payload.substr(0, 17) + " " + payload.substr(18),
         "the token URI's Base64 payload is not strict Base64 at offset 17"},
        {"0x1", "the ABI result has an odd number of hexadecimal digits (1)"},
        {"{\"result\":null}", "the JSON-RPC response's \"result\" is not a string"},
        {"hello", "the input is not a JSON-RPC response, a hex result, a token URI or an SVG"},
        {"", "the input is not a JSON-RPC response, a hex result, a token URI or an SVG"},
        {"<svg/>", "the SVG has no rect with a \"#\" fill besides a background"},
    };
    for (const auto& c : cases) {
        const Outcome run = inspect("", c.input);
        EXPECT_EQ(run.status, 1) << c.input;
        EXPECT_EQ(run.out, "") << c.input;
        EXPECT_EQ(run.err, "zibbles-inspect: " + c.message + "\n") << c.input;
    }
}

TEST(Inspect, batchAnswersEveryLineInOrder) {
    const std::string hex = testing::abiEncodeString(testing::tokenUriOfSvg(kSvg));
    const std::string input =
        testing::rpcBodyOf(hex) + "\n0x00\n" + hex + "\n" + testing::tokenUriOfSvg(kSvg) + "\n";
    const Outcome run = inspect("--batch", input);
    EXPECT_EQ(run.status, 1);
    std::istringstream lines(run.out);
    std::string line;
    std::vector<std::string> answers;
    while (std::getline(lines, line))
        answers.push_back(line);
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[0], R"({"stages":["rpc","abi","uri","svg"],)" + kPixelsJson);
    EXPECT_EQ(answers[1], R"({"stages":["abi"],"pixels":null,"stage":"abi","error":"the ABI )"
                          R"(result is 1 bytes long, shorter than the 64 of a string's head )"
                          R"(and length words"})");
    EXPECT_EQ(answers[2], R"({"stages":["abi","uri","svg"],)" + kPixelsJson);
    EXPECT_NE(answers[3].find(R"("pixels":null)"), std::string::npos); // a URI is not a line kind
    EXPECT_EQ(inspect("--batch", testing::rpcBodyOf(hex) + "\n").status, 0);
}

// The streamed batch answers exactly as the batch that read its whole input first did: the
// expected lines were written by that program, from a file of every kind of line (CRLF, blank,
// revert, whole numbers past 10^5, no final newline).
TEST(Inspect, batchStreamsWithTheSameAnswers) {
    const std::string data = std::string(ZIBBLES_TEST_DATA) + "/inspect/mixed-batch.";
    const std::string lines = slurp(data + "jsonl"), expected = slurp(data + "expected");
    const Outcome run = inspect("--batch", lines);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, expected);
    // Many chunks' worth: a chunk that was written out is filled again and answers as a new one.
    std::string many, manyExpected;
    for (int copy = 0; copy < 250; ++copy) {
        many += lines + "\n";
        manyExpected += expected;
    }
    EXPECT_EQ(inspect("--batch", many).out, manyExpected);

    // A line past the 16 MiB an answer may hold is answered unread, and the next line still is;
    // a line of several read blocks decodes whole, and of two "result" members the last counts.
    std::string golden = slurp(std::string(ZIBBLES_TEST_DATA) + "/decode/golden-24x24.rpc.json");
    golden.erase(golden.find_last_not_of('\n') + 1);
    const std::string goldenAnswer = inspect("--batch", golden).out;
    std::string padded = golden;
    padded.insert(golden.rfind('}'), 3u << 20, ' ');
    const std::string twoResults = R"({"result":"0x00",)" + golden.substr(1);
    const Outcome big = inspect("--batch", std::string((16u << 20) + 1, 'x') + "\n" + padded +
                                               "\n" + twoResults + "\n");
    EXPECT_EQ(big.status, 1);
    EXPECT_EQ(big.out, R"({"stages":[],"pixels":null,"stage":"rpc","error":"the line is longer )"
                       R"(than the 16 MiB an answer may hold"})"
                       "\n" +
                           goldenAnswer + goldenAnswer);
}

TEST(Inspect, commandLine) {
    const Outcome help = inspect("--help", "");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: zibbles-inspect"), std::string::npos);

    for (const char* bad : {"--bogus", "-x", "one two"}) {
        const Outcome run = inspect(bad, "");
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_NE(run.err.find("Try 'zibbles-inspect --help'"), std::string::npos) << bad;
        EXPECT_EQ(run.err.find("Usage:"), std::string::npos) << bad;
    }
    const Outcome missing = inspect("/nonexistent/token.hex", "");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read '/nonexistent/token.hex'"), std::string::npos);

    const Outcome fromFile =
        inspect(std::string(ZIBBLES_TEST_DATA) + "/decode/golden-24x24.hex", "");
    EXPECT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_NE(fromFile.out.find(R"("content":[30,10,180,220])"), std::string::npos);
}

} // namespace
} // namespace zibbles
