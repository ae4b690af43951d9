#include "CommandParser.h"

#include <cstdlib>
#include <cstring>

#include "decodeZORVString.h"
#include "zorvText.h"

namespace orq {

namespace {

bool isKind(char letter) { return letter == 'R' || letter == 'I' || letter == 'G'; }

int number(const decodeZORVString& fields, int position) { return wireToInt(fields[position]); }

}  // namespace

std::optional<Command> parseCommand(const std::string& text) {
    const decodeZORVString fields(text);
    const std::string keyword = fields[0];
    if (keyword.size() != 2) return std::nullopt;

    Command command;
    command.wire = text;
    command.device = number(fields, 1);
    if (keyword == "RC") {
        command.verb = Verb::crosspoint;
        command.kind = 'R';
        command.source = number(fields, 2);
        command.index = number(fields, 3);
        command.text = fields[4];
        command.workstation = number(fields, 5);
    } else if (keyword == "IW") {
        command.verb = Verb::infoWrite;
        command.kind = 'I';
        command.text = fields[2];
        command.index = number(fields, 3);
        command.workstation = number(fields, 4);
    } else if (keyword == "GS") {
        command.verb = Verb::gpiSwitch;
        command.kind = 'G';
        command.index = number(fields, 2);
        command.flag = number(fields, 3) != 0;
        command.workstation = number(fields, 4);
    } else if (keyword == "NS") {
        command.verb = Verb::deviceMessage;
        command.targetWorkstation = number(fields, 2);
        command.text = fields[3];
        command.workstation = number(fields, 4);
        command.window = std::strtoul(fields[5], nullptr, 10);
        command.reference = number(fields, 6);
    } else if (keyword == "RM") {
        command.verb = Verb::rename;
        command.database = number(fields, 2);
        command.index = number(fields, 3);
        command.text = fields[4];
        command.flag = number(fields, 5) != 0;
        command.workstation = number(fields, 6);
        command.window = std::strtoul(fields[7], nullptr, 10);
    } else if (isKind(keyword[0])) {
        command.kind = keyword[0];
        command.index = number(fields, 2);
        command.end = number(fields, 3);
        switch (keyword[1]) {
        case 'L':
            command.verb = Verb::lock;
            command.flag = number(fields, 4) != 0;
            command.workstation = number(fields, 5);
            break;
        case 'P': command.verb = Verb::poll; command.workstation = number(fields, 4); break;
        case 'Q': command.verb = Verb::query; command.workstation = number(fields, 4); break;
        case 'F': command.verb = Verb::file; command.index = command.end = 0; break;
        default: return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    return command;
}

}  // namespace orq
