#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

struct StoreCase {
    const char* text;
    int offset;
    std::vector<uint8_t> bytes;
};

}  // namespace

TEST(ParameterFileReader, StoresValuesOfEveryKind) {
    const StoreCase cases[] = {
        {"auto_activate = 1\n", 4, {1}},
        {"USB_VID = 0x1234\n", 12, {0x34, 0x12}},
        {"auto_activate = 0x1FF\n", 4, {0xFF}},
        {"OPTIONS_MASK = 0xFFFFFFFF\n", 112, {0xFF, 0xFF, 0xFF, 0x7F}},
        {"OPTIONS_MASK = -5000000000\n", 112, {0x00, 0x00, 0x00, 0x80}},
        {"PM_CAPLIST = 010\n", 6, {8, 0}},
        {"USB_VID = 12abc\n", 12, {12, 0}},
        {"USB_VID = abc\n", 12, {0, 0}},
        {"auto_activate\t=\t-1\r\n", 4, {0xFF}},
        {"MAC_ADDR = 0A-3F-71-00-00-07\n", 96, {0x0A, 0x3F, 0x71, 0, 0, 7}},
        {"MAC_ADDR 0A:3F:71:00:00:07\n", 96, {0x0A, 0x3F, 0x71, 0, 0, 7}},
        {"MAC_ADDR=1FF:3F:71:00:00:07 trailing\n", 96, {0xFF, 0x3F, 0x71, 0, 0, 7}},
        {"LARQ_PRIORITY_CHANNEL = 0 1 2 3 4 5 6 7\n", 146, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"TALVENRICK_OUI = 00-11-22\r\n", 104, {0, 0x11, 0x22}},
        // The text and its NUL replace the start of the field; the rest keeps the default.
        {"USB_Product = \"ABC\"\n", 36, {'A', 'B', 'C', 0, '1', '1', 0}},
        {"USB_Serial = \"\"\n", 56, {0, '0', '7', 0}},
        {"USB_Serial = \"\n", 56, {0, '0', '7', 0}},
        {"USB_Serial = \"AB\n", 56, {'A', 0, '7', 0}},
        {"auto_activate = 1\nauto_activate = 2\n", 4, {2}},
        {"section1_length = 7\n", 0, {7, 0, 0, 0}},
    };
    for (const StoreCase& c : cases) {
        const ReadOutcome outcome = read_text(c.text);
        EXPECT_EQ(outcome.status, 0) << c.text;
        EXPECT_EQ(bytes_at(outcome.parameters.image, c.offset, static_cast<int>(c.bytes.size())), c.bytes) << c.text;
        EXPECT_EQ(outcome.messages, "") << c.text;
    }
}

TEST(ParameterFileReader, IgnoresCommentsBlankAndUnterminatedLines) {
    for (const char* text : {"# auto_activate = 1\n", "\n\n   \t\n\r\n", "auto_activate = 1"}) {
        const ReadOutcome outcome = read_text(text);
        EXPECT_EQ(outcome.status, 0) << text;
        EXPECT_EQ(outcome.parameters.image, default_parameter_image()) << text;
    }
}

TEST(ParameterFileReader, SplitsOverlongLinesIntoPiecesOf254) {
    // The first piece has no line end and is dropped; the rest is a line of its own.
    const ReadOutcome split = read_text(std::string(254, '#') + "auto_activate = 1\n");
    EXPECT_EQ(split.status, 0);
    EXPECT_EQ(split.parameters.image[4], 1);

    // 253 characters and the line end still fit one piece.
    const std::string fits = "auto_activate = 1" + std::string(253 - 17, ' ') + "\n";
    ASSERT_EQ(fits.size(), 254u);
    EXPECT_EQ(read_text(fits).parameters.image[4], 1);
    const ReadOutcome too_long = read_text("auto_activate = 1" + std::string(254 - 17, ' ') + "\n");
    EXPECT_EQ(too_long.parameters.image[4], 0);
}

TEST(ParameterFileReader, ReportsErrorsWithTheMainReadersLineNumber) {
    struct Case {
        std::string text;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"auto_activate\n", exit_bad_syntax, "ERROR: bad syntax on line 1 (missing value)!!!\n"},
        {"# c\n\nUSB_VID = 1\nauto_activate =\n", exit_bad_syntax,
         "ERROR: bad syntax on line 4 (missing value)!!!\n"},
        {"Auto_Activate = 1\n", exit_unknown_parameter, "ERROR: unknown parameter (Auto_Activate)!!!\n"},
        {"  # x\n", exit_unknown_parameter, "ERROR: unknown parameter (#)!!!\n"},
        {"MAC_ADDR = 0A:3F:71:00:00\n", exit_bad_syntax, "ERROR: bad syntax on line 1 (missing value)!!!\n"},
        {"LARQ_PRIORITY_CHANNEL = 0 1 2 3 4 5 6 \n", exit_bad_syntax,
         "ERROR: bad syntax on line 1 (missing value)!!!\n"},
        // Lines read by the static address list are not counted; its bad line ends
        // the list and the next address reaches the main reader.
        {"auto_activate = 1\n[STATIC_ADDRESSES]\n00:11:22:33:44:55\n00:11:22\n00:11:22:33:44:55\n", exit_bad_syntax,
         "ERROR : unable to read MAC address\nError occured in line : 00:11:22\n\n"
         "ERROR: bad syntax on line 3 (missing value)!!!\n"},
        // A line with a NUL byte ends there, so it has no line end and is dropped.
        {std::string("auto_activate = 1\0\n", 19) + "USB_VID\n", exit_bad_syntax,
         "ERROR: bad syntax on line 2 (missing value)!!!\n"},
    };
    for (const Case& c : cases) {
        const ReadOutcome outcome = read_text(c.text, 1);
        EXPECT_EQ(outcome.status, c.status) << c.text;
        EXPECT_EQ(outcome.messages, c.message) << c.text;
        EXPECT_EQ(read_text(c.text, 0).messages, "") << c.text;
    }
}

TEST(ParameterFileReader, CutsAnOverlongTextAtTheFieldEnd) {
    const ReadOutcome outcome = read_text("USB_Manufacturer = \"ABCDEFGHIJKLMNOPQRSTUVWXYZ\"\n", 1);
    EXPECT_EQ(outcome.status, 0);
    const std::string field(outcome.parameters.image.begin() + 16, outcome.parameters.image.begin() + 36);
    EXPECT_EQ(field, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(bytes_at(outcome.parameters.image, 36, 7), bytes_at(default_parameter_image(), 36, 7));
    EXPECT_EQ(outcome.messages, "WARNING: text of USB_Manufacturer cut to 20 characters on line 1!!!\n");

    // Exactly the field's size: no NUL is written past the field either.
    const ReadOutcome exact = read_text("USB_Serial = \"ABCDEFGHIJKLMN\"\n", 0);
    EXPECT_EQ(exact.parameters.image[70], default_parameter_image()[70]);
}

TEST(ParameterFileReader, ParameterLinesInsideTheQosSectionAreNotParameters) {
    const ReadOutcome outcome = read_text("[QoS]\nFILTERS = a\nauto_activate = 1\nnot_a_name = 1\n");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.parameters.image[4], 0);
}

TEST(ParameterFileReader, MissingFileKeepsTheDefaults) {
    ParameterSet parameters;
    parameters.image.fill(0);
    Messages messages{3, {}};
    EXPECT_EQ(read_parameter_file("/nonexistent/prm.inf", parameters, messages), 0);
    EXPECT_EQ(parameters.image, default_parameter_image());
    EXPECT_EQ(messages.text, "");
    EXPECT_EQ(read_parameter_file("/", parameters, messages), 0);
    EXPECT_EQ(parameters.image, default_parameter_image());
}
