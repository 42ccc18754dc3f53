-- Wireshark dissector for the frames of EtherType 0x886C that hostlink, devsim
-- and the HomePNA devices exchange. Bytes 14-15 of the frame select:
--   80 01  a host-interface message: device memory and AFE register access,
--          run code, ACTIVATE. A reply is paired with its request by order,
--          as the device answers them: one request in flight at a time, and
--          read in the light of that request (a write reply need not carry
--          the data back; what follows its header is then padding).
--   03 00  the device-address query. Its answer is whatever frame another
--          station sends next to the broadcast address, as the loader takes
--          it, whatever that frame's bytes 14-15 say.
--   80 02  a ZDP test message; acknowledgements are paired with their request
--          by sequence number.
-- Anything else is shown as an unknown sub-protocol.
--
-- Use it in place:  tshark -X lua_script:hpnadev.lua -r capture.pcap
-- or copy it into one of Wireshark's Lua plugin folders (`tshark -G folders`).
-- "Response in" fields pointing forward need two passes: tshark -2.

-- Where Wireshark would load another copy of this file from by itself.
local function installed_copy()
    for _, folder in ipairs({ Dir.personal_plugins_path(), Dir.global_plugins_path() }) do
        local path = folder .. "/hpnadev.lua"
        local file = io.open(path, "r")
        if file then
            file:close()
            return path
        end
    end
    return nil
end

-- Wireshark refuses a second protocol of the same name: with the dissector
-- installed as a plugin, a copy given with -X steps aside (one line on
-- standard error, no Lua error) and the installed one decodes the frames.
local registered, link_proto = pcall(Proto, "hpnadev", "HomePNA device link")
if not registered then
    local this_copy = debug.getinfo(1, "S").source:gsub("^@", "")
    io.stderr:write(string.format("hpnadev.lua: the dissector is already loaded from %s; %s is not used\n",
        installed_copy() or "another copy", this_copy))
    return
end
local hostif_proto = Proto("hostif", "Host-interface message")
local zdp_proto = Proto("zdp", "ZDP test message")

local ETHERTYPE = 0x886C
local TYPE_HOSTIF = 0x8001
local TYPE_ZDP = 0x8002
local TYPE_QUERY = 0x0300

local REQUEST, REPLY = 0, 1

------------------------------------------------------------------------------
-- Vocabulary

local frame_types = {
    [TYPE_HOSTIF] = "Host-interface message",
    [TYPE_ZDP] = "ZDP test message",
    [TYPE_QUERY] = "Device address query",
}

local roles = { [REQUEST] = "Request", [REPLY] = "Reply" }

local hostif_opcodes = {
    [1] = "Run code",
    [2] = "Read",
    [3] = "Write",
    [4] = "ACTIVATE",
    [5] = "Serial read",
    [6] = "Serial write",
}

local zdp_opcodes = {
    [0x00] = "ZDP_OPCODE_OK",
    [0x01] = "ZDP_OPCODE_ERROR",
    [0x02] = "ZDP_OPCODE_TESTDATA",
    [0x03] = "ZDP_OPCODE_SAMPLEDATA",
    [0x08] = "ZDP_OPCODE_ENABLECERT",
    [0x09] = "ZDP_OPCODE_DISABLECERT",
    [0x10] = "ZDP_OPCODE_CONFIGNODE",
    [0x11] = "ZDP_OPCODE_CONFIGSEND",
    [0x12] = "ZDP_OPCODE_STARTSEND",
    [0x13] = "ZDP_OPCODE_STOPSEND",
    [0x14] = "ZDP_OPCODE_ECHOREQUEST",
    [0x15] = "ZDP_OPCODE_CONFIGRECV",
    [0x16] = "ZDP_OPCODE_STOPRECV",
    [0x17] = "ZDP_OPCODE_REPORTSTATS",
    [0x18] = "ZDP_OPCODE_REPORTCONFIG",
    [0x19] = "ZDP_OPCODE_RESETSTATS",
    [0x20] = "ZDP_OPCODE_REPORTNODE",
    [0x30] = "",
    [0x40] = "ZDP_OPCODE_VENDOR",
}
local ZDP_OK, ZDP_ERROR = 0x00, 0x01

-- The name a ZDP opcode goes by; the loader's own table calls every value it
-- does not know "UNKOWN" and has an empty name for 0x30.
local function zdp_opcode_name(opcode)
    local name = zdp_opcodes[opcode]
    if name == nil then return "UNKOWN" end
    if name == "" then return string.format("opcode 0x%02x", opcode) end
    return name
end

------------------------------------------------------------------------------
-- Fields

local f = {}

f.type = ProtoField.uint16("hpnadev.type", "Type", base.HEX, frame_types)

f.h_length = ProtoField.uint16("hostif.length", "Length", base.DEC, nil, nil,
    "12 + data bytes: the bytes from offset 20 to the end of the data")
f.h_data_length = ProtoField.uint16("hostif.data_length", "Data length", base.DEC)
f.h_carried1 = ProtoField.bytes("hostif.carried1", "Carried bytes 18-22", base.SPACE, "Repeated from the last reply")
f.h_opcode = ProtoField.uint8("hostif.opcode", "Opcode", base.DEC, hostif_opcodes)
f.h_carried2 = ProtoField.bytes("hostif.carried2", "Carried bytes 24-27", base.SPACE, "Repeated from the last reply")
f.h_address = ProtoField.uint32("hostif.address", "Address", base.HEX)
f.h_address_name = ProtoField.string("hostif.address_name", "Address name")
f.h_data = ProtoField.bytes("hostif.data", "Data")
f.h_word = ProtoField.uint32("hostif.word", "Data word", base.HEX_DEC)
f.h_meaning = ProtoField.string("hostif.meaning", "Meaning")
f.h_unused = ProtoField.bytes("hostif.unused", "Unused data area", base.NONE, "The data area of a read request carries nothing")
f.h_padding = ProtoField.bytes("hostif.padding", "Padding")
f.h_written = ProtoField.uint16("hostif.written", "Bytes written", base.DEC, nil, nil,
    "A write reply's length field - 12")
f.h_echo = ProtoField.bytes("hostif.echo", "Data (as written)", base.NONE, nil,
    "The write reply carries the written data back")
f.h_role = ProtoField.uint8("hostif.role", "Role", base.DEC, roles)
f.h_request_in = ProtoField.framenum("hostif.request_in", "Request in", base.NONE, frametype.REQUEST)
f.h_response_in = ProtoField.framenum("hostif.response_in", "Response in", base.NONE, frametype.RESPONSE)
f.h_request_opcode = ProtoField.uint8("hostif.request_opcode", "Request opcode", base.DEC, hostif_opcodes)
f.h_request_address = ProtoField.uint32("hostif.request_address", "Request address", base.HEX)
f.q_template = ProtoField.bytes("hostif.query.template", "Header template bytes 16-31", base.SPACE)
f.q_device = ProtoField.ether("hostif.query.device", "Device address")
f.q_answer = ProtoField.bytes("hostif.query.answer_bytes", "Answer bytes", base.NONE, nil,
    "Nothing but the answer's source address is relied on")

-- The device's station and channel tables, read entry by entry.
f.st_count = ProtoField.uint8("hostif.station.count", "Station count", base.DEC, nil, nil, "Bits 16-23 of the word")
f.st_first = ProtoField.ether("hostif.station.address1", "First address")
f.st_second = ProtoField.ether("hostif.station.address2", "Second address")
f.st_station = ProtoField.ether("hostif.station", "Station",
    "An entry describes a station when both addresses are equal and not all zero")
f.ch_sa = ProtoField.ether("hostif.chan.sa", "SA")
f.ch_da = ProtoField.ether("hostif.chan.da", "DA")
f.ch_status = ProtoField.uint8("hostif.chan.status", "Status", base.HEX)
f.ch_in_use = ProtoField.bool("hostif.chan.in_use", "In use", base.NONE, nil, nil, "Bit 7 of the status is clear")
f.ch_pe = ProtoField.uint8("hostif.chan.pe", "PE", base.DEC)
f.ch_pe_bits = ProtoField.uint8("hostif.chan.pe.bits", "Constellation (bits per symbol)", base.DEC)
f.ch_pe_baud = ProtoField.uint8("hostif.chan.pe.baud", "Baud", base.DEC)
f.ch_pe_mask = ProtoField.uint8("hostif.chan.pe.mask", "Mask", base.DEC)

f.z_length = ProtoField.uint16("zdp.length", "Length", base.DEC, nil, nil,
    "10 + the size of all segments: the bytes from offset 16 to the end of the last segment")
f.z_reserved1 = ProtoField.uint8("zdp.reserved1", "Reserved (byte 18)", base.HEX)
f.z_opcode = ProtoField.uint8("zdp.opcode", "Opcode", base.HEX, zdp_opcodes)
f.z_reserved2 = ProtoField.uint32("zdp.reserved2", "Reserved (bytes 20-23)", base.HEX)
f.z_seq = ProtoField.uint16("zdp.seq", "Sequence number", base.DEC)
f.z_seg_length = ProtoField.uint16("zdp.seg.length", "Value length", base.DEC)
f.z_seg_value = ProtoField.bytes("zdp.seg.value", "Value")
f.z_seg_padding = ProtoField.bytes("zdp.seg.padding", "Segment padding")
f.z_end_marker = ProtoField.uint16("zdp.end_marker", "End marker", base.HEX)
f.z_padding = ProtoField.bytes("zdp.padding", "Padding")
f.z_request_in = ProtoField.framenum("zdp.request_in", "Request in", base.NONE, frametype.REQUEST)
f.z_response_in = ProtoField.framenum("zdp.response_in", "Response in", base.NONE, frametype.RESPONSE)
f.z_ack_of = ProtoField.uint8("zdp.ack_of", "Acknowledges", base.HEX, zdp_opcodes)

f.pe_bits = ProtoField.uint8("zdp.pe.bits", "Constellation (bits per symbol)", base.DEC)
f.pe_baud = ProtoField.uint8("zdp.pe.baud", "Baud", base.DEC)
f.pe_mask = ProtoField.uint8("zdp.pe.mask", "Mask", base.DEC)

f.s_sea = ProtoField.uint32("zdp.sample.sea", "Error accumulator (sea)", base.DEC)
f.s_psc = ProtoField.uint16("zdp.sample.psc", "Divisor (psc)", base.DEC)
f.s_pe = ProtoField.uint16("zdp.sample.pe", "PE", base.DEC)
f.s_ratio = ProtoField.double("zdp.sample.ratio", "sea / psc")
f.snr = ProtoField.double("zdp.snr", "SNR of the demodulator samples (dB)")
f.snr_samples = ProtoField.uint8("zdp.snr.samples", "Valid samples", base.DEC)

-- Segment types whose value is a number or an address, by type:
-- abbreviation, label, width, base, and how the value is shown.
local segment_kinds = {
    [0x0001] = { "error_code", "Error code", 1 },
    [0x0005] = { "transfer_id", "Transfer id", 2 },
    [0x0010] = { "txpe", "txpe", 1, nil, "pe" },
    [0x0011] = { "txpri", "txpri", 1 },
    [0x0012] = { "linkint", "linkint", 1 },
    [0x0013] = { "txmode", "txmode", 1 },
    [0x0016] = { "hpnamode", "hpnamode", 1 },
    [0x0020] = { "larq", "larq", 1 },
    [0x0021] = { "csa", "csa", 1 },
    [0x0022] = { "csahpnamode", "csahpnamode", 1 },
    [0x0081] = { "sa", "SA", 6, nil, "mac" },
    [0x0083] = { "da", "DA", 6, nil, "mac" },
    [0x0084] = { "dgen_type", "dgen_type", 1 },
    [0x0085] = { "dgen_data", "dgen_data", 4, base.HEX },
    [0x0086] = { "payload_length", "length", 2 },
    [0x0087] = { "npkts", "npkts", 4 },
    [0x0088] = { "burst_int", "burst_int", 2 },
    [0x0089] = { "burst_npkts", "burst_npkts", 2 },
    [0x008A] = { "numacks", "numacks", 1 },
    [0x008B] = { "txpe_test", "txpe_test", 1, nil, "pe_or_unset" },
    [0x008C] = { "txpri_test", "txpri_test", 1, nil, "unset" },
    [0x0101] = { "stats.xmt_npkts", "XMT_NPKTS", 4 },
    [0x0102] = { "stats.xmt_nbytes", "XMT_NBYTES", 4 },
    [0x0103] = { "stats.xmt_nerrs", "XMT_NERRS", 4 },
    [0x0104] = { "stats.xmt_nelapsed_time", "XMT_NELAPSED_TIME", 4 },
    [0x0105] = { "stats.recv_npkts", "RECV_NPKTS", 4 },
    [0x0106] = { "stats.recv_nbytes", "RECV_NBYTES", 4 },
    [0x0107] = { "stats.recv_seq_miss", "RECV_SEQ_MISS", 4 },
    [0x0108] = { "stats.recv_seq_err", "RECV_SEQ_ERR", 4 },
    [0x0109] = { "stats.recv_data_err", "RECV_DATA_ERR", 4 },
    [0x010A] = { "stats.recv_err", "RECV_ERR", 4 },
    [0x010B] = { "stats.recv_elapsed_time", "RECV_ELAPSED_TIME", 4 },
    [0x010C] = { "stats.recv_fcs_err", "RECV_FCS_ERR", 4 },
    [0x010D] = { "stats.recv_hdr_err", "RECV_HDR_ERR", 4 },
}
local FIRST_COUNTER, LAST_COUNTER = 0x0101, 0x010D
local FIRST_RECEIVER_COUNTER = 0x0105

local segment_type_names = {}
for type, kind in pairs(segment_kinds) do
    segment_type_names[type] = kind[2]
    local abbr = "zdp." .. kind[1]
    if kind[3] == 6 then
        kind.field = ProtoField.ether(abbr, kind[2])
    else
        local constructor = ({ [1] = ProtoField.uint8, [2] = ProtoField.uint16, [4] = ProtoField.uint32 })[kind[3]]
        kind.field = constructor(abbr, kind[2], kind[4] or base.DEC)
    end
end
f.z_seg_type = ProtoField.uint16("zdp.seg.type", "Segment type", base.HEX, segment_type_names)

local expert_info = {
    short = ProtoExpert.new("hpnadev.short", "Frame ends before the sub-protocol bytes",
        expert.group.MALFORMED, expert.severity.ERROR),
    -- Not an error: the loader's loopback test sends frames of any bytes.
    unknown_type = ProtoExpert.new("hpnadev.unknown_type", "Unknown sub-protocol",
        expert.group.UNDECODED, expert.severity.NOTE),
    q_truncated = ProtoExpert.new("hostif.query.truncated", "Address query ends before its header template",
        expert.group.MALFORMED, expert.severity.ERROR),
    h_truncated = ProtoExpert.new("hostif.truncated", "Message header runs past the end of the frame",
        expert.group.MALFORMED, expert.severity.ERROR),
    h_length = ProtoExpert.new("hostif.bad_length", "Length field runs past the end of the frame",
        expert.group.MALFORMED, expert.severity.ERROR),
    h_opcode = ProtoExpert.new("hostif.unknown_opcode", "Unknown opcode",
        expert.group.UNDECODED, expert.severity.WARN),
    h_overcount = ProtoExpert.new("hostif.write_overcount", "Write reply counts more bytes than the request wrote",
        expert.group.PROTOCOL, expert.severity.WARN),
    z_truncated = ProtoExpert.new("zdp.truncated", "ZDP header runs past the end of the frame",
        expert.group.MALFORMED, expert.severity.ERROR),
    z_length = ProtoExpert.new("zdp.bad_length", "Length field runs past the end of the frame",
        expert.group.MALFORMED, expert.severity.ERROR),
    z_segment = ProtoExpert.new("zdp.segment_past_end", "Segment runs past the end of the message",
        expert.group.MALFORMED, expert.severity.ERROR),
    z_opcode = ProtoExpert.new("zdp.unknown_opcode", "Unknown opcode",
        expert.group.UNDECODED, expert.severity.WARN),
}

link_proto.fields = { f.type }
hostif_proto.fields = {
    f.h_length, f.h_data_length, f.h_carried1, f.h_opcode, f.h_carried2, f.h_address, f.h_address_name,
    f.h_data, f.h_word, f.h_meaning, f.h_unused, f.h_padding, f.h_written, f.h_echo, f.h_role, f.h_request_in,
    f.h_response_in, f.h_request_opcode, f.h_request_address, f.q_template, f.q_device, f.q_answer,
    f.st_count, f.st_first, f.st_second, f.st_station, f.ch_sa, f.ch_da, f.ch_status, f.ch_in_use, f.ch_pe,
    f.ch_pe_bits, f.ch_pe_baud, f.ch_pe_mask,
}
local zdp_fields = {
    f.z_length, f.z_reserved1, f.z_opcode, f.z_reserved2, f.z_seq, f.z_seg_type, f.z_seg_length, f.z_seg_value,
    f.z_seg_padding, f.z_end_marker, f.z_padding, f.z_request_in, f.z_response_in, f.z_ack_of,
    f.pe_bits, f.pe_baud, f.pe_mask, f.s_sea, f.s_psc, f.s_pe, f.s_ratio, f.snr, f.snr_samples,
}
for _, kind in pairs(segment_kinds) do zdp_fields[#zdp_fields + 1] = kind.field end
zdp_proto.fields = zdp_fields
link_proto.experts = { expert_info.short, expert_info.unknown_type }
hostif_proto.experts = {
    expert_info.h_truncated, expert_info.h_length, expert_info.h_opcode, expert_info.h_overcount,
    expert_info.q_truncated,
}
zdp_proto.experts = { expert_info.z_truncated, expert_info.z_length, expert_info.z_segment, expert_info.z_opcode }

------------------------------------------------------------------------------
-- Pairing state, built on the first pass over a capture and kept per frame,
-- so that later passes (and the GUI's re-dissection) show the same result.

local hostif_conversations  -- "mac/mac" -> { pending, host, length_written, last_command, last_kind }
local hostif_frames         -- frame number -> { role, peer, opcode, address, meaning, written, echoed }
local query_frames          -- frame number -> { role, peer } of a query or its answer, false for other frames
local queriers              -- MAC -> true for every station that sent an address query
local pending_query         -- { number, source } of the last unanswered query
local zdp_requests          -- requester MAC .. "#" .. sequence -> frame number of the latest request
local zdp_frames            -- frame number -> { peer, ack_of }

local function forget_pairs()
    hostif_conversations, hostif_frames, query_frames, queriers, pending_query = {}, {}, {}, {}, nil
    zdp_requests, zdp_frames = {}, {}
end
forget_pairs()
link_proto.init = forget_pairs

local function conversation(a, b)
    local key = a < b and (a .. "/" .. b) or (b .. "/" .. a)
    local conv = hostif_conversations[key]
    if not conv then
        conv = {}
        hostif_conversations[key] = conv
    end
    return conv
end

------------------------------------------------------------------------------
-- Device addresses and the programming mailbox

local MAILBOX_COMMAND, MAILBOX_STATUS, MAILBOX_LENGTH = 0x8820, 0x8824, 0x8828
local RESET_CONTROL = 0x00E00000
local FIRMWARE_VERSION = 0x827E
local STATION_COUNT = 0x80002070

local address_names = {
    [RESET_CONTROL] = "reset control",
    [0x00E00018] = "boot mode",
    [0x00E000D0] = "cleared before a reset",
    [0x00E000D4] = "cleared before a reset",
    [0x80005000] = "link status",
    [0x80005004] = "network mode",
    [FIRMWARE_VERSION] = "firmware version",
    [0x8060] = "MAC address",
    [0x809A] = "parameter-section flags",
    [0x38AB4] = "hardware initialization",
    [MAILBOX_COMMAND] = "mailbox command",
    [MAILBOX_STATUS] = "mailbox status",
    [MAILBOX_LENGTH] = "mailbox length",
    [STATION_COUNT] = "station count",
    [0x00E04F88] = "test transmitter PE",
    [0x00E04FB8] = "test packet length MSB",
    [0x00E04FBC] = "test packet length LSB",
    [0x00E04020] = "test transmitter mask",
}

-- Areas named by their start, the parts of the tables by entry. The station
-- count (bits 16-23) allows 255 entries; the transmit channel table ends
-- where the receive channel table begins.
local STATION_ENTRY, TRANSMIT_ENTRY, RECEIVE_ENTRY = 44, 56, 60
local regions = {
    { base = 0x8000, size = 428, name = "parameter image" },
    { base = 0x28000, size = 0x10000, name = "staging buffer" },
    { base = 0x3AAB4, size = 192, name = "system table descriptors", entry = 12, entry_name = "system table descriptor %d" },
    { base = 0x8000D000, size = 255 * STATION_ENTRY, entry = STATION_ENTRY, entry_name = "station table entry %d",
      table = "station" },
    { base = 0x80007000, size = 0x1000, entry = TRANSMIT_ENTRY, entry_name = "transmit channel table entry %d",
      table = "transmit" },
    { base = 0x80008000, size = 255 * RECEIVE_ENTRY, entry = RECEIVE_ENTRY,
      entry_name = "receive channel table entry %d", table = "receive" },
}

-- The region an address lies in, the entry it lies in (from 0) and its
-- offset within that entry (or within the region when it has no entries).
local function locate(address)
    for _, region in ipairs(regions) do
        local offset = address - region.base
        if offset >= 0 and offset < region.size then
            if not region.entry then return region, nil, offset end
            return region, math.floor(offset / region.entry), offset % region.entry
        end
    end
    return nil
end

local function address_name(address)
    local name = address_names[address]
    if name then return name end
    local region, index, offset = locate(address)
    if not region then return nil end
    local base_name
    if index == nil then
        base_name = region.name
    elseif index == 0 and offset == 0 and region.name then
        return region.name
    else
        base_name = string.format(region.entry_name, index)
    end
    if offset == 0 then return base_name end
    return string.format("%s +0x%x", base_name, offset)
end

-- What a mailbox command word asks for. A command is an EEPROM command when
-- the length word was written since the previous command (the loader writes
-- it for the EEPROM only); a resent command keeps the kind it had.
local function mailbox_command(conv, value)
    local kind
    if conv.length_written then
        kind = "eeprom"
    elseif value == conv.last_command and conv.last_kind then
        kind = conv.last_kind
    elseif value == 840 then
        kind = "erase"
    elseif value >= 850 then
        kind = "flash"
    end
    conv.length_written, conv.last_command, conv.last_kind = false, value, kind
    if kind == "erase" then return "erase flash" end
    if kind == "eeprom" and value >= 860 then
        return string.format("program EEPROM (860 + %d: large flag + piece)", value - 860)
    end
    if value >= 850 then return string.format("program flash piece %d", value - 850) end
    return "unknown command"
end

local function mailbox_status(conv, value)
    if conv.last_kind == "eeprom" then return string.format("%d bytes programmed", value) end
    if conv.last_kind == nil then return nil end
    if value == 0 then return "success" end
    return string.format("error 0x%x", value)
end

-- The meaning of a word written to (or read from) a named device address, if
-- it has one. Tracks the mailbox as a side effect, so call it once per frame.
local function word_meaning(conv, write, address, word)
    if write then
        if address == MAILBOX_COMMAND then return mailbox_command(conv, word) end
        if address == MAILBOX_LENGTH then
            conv.length_written = true
            if word == 0xFFFF then return "a full 64 KiB piece" end
            return string.format("%d bytes", word)
        end
        if address == RESET_CONTROL and word == 6 then return "reset" end
        return nil
    end
    if address == MAILBOX_STATUS then return mailbox_status(conv, word) end
    if address == FIRMWARE_VERSION then
        local low = word % 0x10000
        return string.format("version %d.%d.%d", math.floor(low / 1024), math.floor(low / 16) % 64, low % 16)
    end
    if address == STATION_COUNT then
        local count = math.floor(word / 0x10000) % 256
        return string.format("%d station%s", count, count == 1 and "" or "s")
    end
    return nil
end

------------------------------------------------------------------------------
-- Payload encoding (PE) values: in ZDP messages and in the channel tables

-- Splits a PE value into constellation index, baud and mask.
local function split_pe(pe)
    return pe % 8, math.floor(pe / 8) % 4 + 1, math.floor(pe / 32) % 4 + 1
end

-- The fields a PE value's parts are shown in: a ZDP message's and a channel
-- table entry's.
local zdp_pe_fields = { bits = f.pe_bits, baud = f.pe_baud, mask = f.pe_mask }
local channel_pe_fields = { bits = f.ch_pe_bits, baud = f.ch_pe_baud, mask = f.ch_pe_mask }

-- Adds the parts of a PE value below its item; gives them as text.
local function add_pe(tree, range, pe, fields)
    local constellation, baud, mask = split_pe(pe)
    local bits = tree:add(fields.bits, range, constellation + 1)
    bits:set_generated()
    tree:add(fields.baud, range, baud):set_generated()
    local mask_item = tree:add(fields.mask, range, mask)
    mask_item:set_generated()
    local text = string.format("%d bits per symbol, baud %d, mask %d", constellation + 1, baud, mask)
    if constellation == 0 then
        bits:append_text(" (no valid constellation)")
        text = text .. ", no valid constellation"
    end
    if mask > 2 then
        mask_item:append_text(" (no valid mask)")
        text = text .. ", no valid mask"
    end
    return text
end

------------------------------------------------------------------------------
-- Host-interface messages (offsets below are from byte 14 of the frame)

local function is_read(opcode) return opcode == 2 or opcode == 5 end
local function is_write(opcode) return opcode == 3 or opcode == 6 end

-- Decides on the first pass whether a frame is a request or a reply: the next
-- frame from the other end after a request is its reply. Run code and
-- ACTIVATE are never answered. A write reply is marked `echoed` when it
-- carries back the bytes its request wrote.
local function classify_hostif(tvb, pinfo, opcode, address, word, data_count)
    local source, destination = tostring(pinfo.dl_src), tostring(pinfo.dl_dst)
    local conv = conversation(source, destination)
    local record = {}
    local pending = conv.pending
    local after_header = tvb:len() - 18
    if opcode == 1 or opcode == 4 then
        record.role = REQUEST
        conv.pending = nil
    elseif pending and pending.source ~= source then
        record.role, record.peer = REPLY, pending.number
        local request = hostif_frames[pending.number]
        request.peer = pinfo.number
        record.opcode, record.address = request.opcode, request.address
        if is_write(request.opcode) then
            record.request_count = pending.count
            local written = pending.written
            record.echoed = data_count > 0 and written ~= nil and written:len() >= data_count
                and after_header >= data_count
                and tvb(18, data_count):bytes():tohex() == written:subset(0, data_count):tohex()
        end
        conv.host, conv.pending = pending.source, nil
    elseif conv.host and conv.host ~= source then
        -- A reply without a request waiting (a late one): read by its own bytes.
        record.role, record.opcode, record.address = REPLY, opcode, address
    else
        record.role = REQUEST
        conv.pending = { number = pinfo.number, source = source, count = data_count }
        local carried = math.min(data_count, after_header)
        if is_write(opcode) and carried > 0 then conv.pending.written = tvb(18, carried):bytes() end
    end
    if record.role == REQUEST then record.opcode, record.address = opcode, address end

    -- Named words only for device memory, not for the AFE registers.
    if word ~= nil then
        if record.role == REQUEST and record.opcode == 3 then
            record.meaning = word_meaning(conv, true, address, word)
        elseif record.role == REPLY and record.opcode == 2 then
            record.meaning = word_meaning(conv, false, record.address, word)
        end
    end
    hostif_frames[pinfo.number] = record
    return record
end

local function add_generated(tree, field, value)
    local item = tree:add(field, value)
    item:set_generated()
    return item
end

-- Opens the protocol item of a message; nil when the frame ends inside the
-- message's fixed header.
local function open_message(tvb, pinfo, tree, proto, column, header, truncated)
    local subtree = tree:add(proto, tvb())
    pinfo.cols.protocol = column
    if tvb:len() < header then
        subtree:add_proto_expert_info(truncated)
        pinfo.cols.info = proto.description .. ", truncated"
        return nil
    end
    return subtree
end

-- Flags a length field that counts less than its own header or more than the
-- frame holds; `message_end` is where the field puts the message's end.
local function check_length(item, anomaly, value, header, message_end, frame_end)
    if value < header then
        item:add_proto_expert_info(anomaly,
            string.format("Length field %d is below the %d header bytes it counts", value, header))
    elseif message_end > frame_end then
        item:add_proto_expert_info(anomaly,
            string.format("Length field %d runs %d bytes past the end of the frame", value, message_end - frame_end))
    end
end

local function mac_text(range)
    local hex = range:bytes():tohex():lower()
    return (hex:gsub("(%x%x)", "%1:"):sub(1, -2))
end

-- One station table entry: bytes 20-25 and 26-31 are two addresses; the entry
-- describes a station when they are equal and not all zero.
local function add_station_entry(tree, tvb, offset, index)
    local first, second = tvb(offset + 20, 6), tvb(offset + 26, 6)
    local item = tree:add(tvb(offset, STATION_ENTRY), string.format("Station table entry %d", index))
    item:add(f.st_first, first)
    item:add(f.st_second, second)
    local summary
    if mac_text(first) ~= mac_text(second) then
        summary = "no station: the addresses differ"
    elseif mac_text(first) == "00:00:00:00:00:00" then
        summary = "no station"
    else
        item:add(f.st_station, first):set_generated()
        summary = "station " .. mac_text(first)
    end
    item:append_text(": " .. summary)
    return summary
end

-- One channel table entry: bytes 8-13 the peer, 14-19 the station's own
-- address, byte 21 the status (bit 7 set: not in use) and the PE at byte 47
-- (transmit) or 38 (receive). SA and DA as the loader prints them: a
-- transmit channel goes from the own address to the peer, a receive channel
-- the other way.
local function add_channel_entry(tree, tvb, offset, index, transmit)
    local size = transmit and TRANSMIT_ENTRY or RECEIVE_ENTRY
    local peer, own = tvb(offset + 8, 6), tvb(offset + 14, 6)
    local status = tvb(offset + 21, 1)
    local pe_range = tvb(offset + (transmit and 47 or 38), 1)
    local item = tree:add(tvb(offset, size),
        string.format("%s channel table entry %d", transmit and "Transmit" or "Receive", index))
    local sa, da = own, peer
    if not transmit then sa, da = peer, own end
    item:add(f.ch_sa, sa):append_text(transmit and " (own)" or " (peer)")
    item:add(f.ch_da, da):append_text(transmit and " (peer)" or " (own)")
    item:add(f.ch_status, status)
    local in_use = status:uint() < 0x80
    add_generated(item, f.ch_in_use, in_use)
    local pe_item = item:add(f.ch_pe, pe_range)
    local pe_text = add_pe(pe_item, pe_range, pe_range:uint(), channel_pe_fields)
    local summary
    if in_use then
        summary = string.format("SA %s DA %s PE %d", mac_text(sa), mac_text(da), pe_range:uint())
        pe_item:append_text(" (" .. pe_text .. ")")
    else
        summary = "not in use"
    end
    item:append_text(": " .. summary)
    return summary
end

-- Decodes the whole table entries a read reply carries when the read began
-- at an entry; gives a summary for the Info column (nil for none).
local function add_table_entries(tree, tvb, address, available)
    local region, index, offset = locate(address)
    if not region or not region.table or offset ~= 0 then return nil end
    local count = math.floor(available / region.entry)
    local summary
    for k = 0, count - 1 do
        local at = 18 + k * region.entry
        if region.table == "station" then
            summary = add_station_entry(tree, tvb, at, index + k)
        else
            summary = add_channel_entry(tree, tvb, at, index + k, region.table == "transmit")
        end
    end
    if count > 1 then return string.format("%d entries", count) end
    return summary
end

local function dissect_hostif(tvb, pinfo, tree)
    local length = tvb:len()
    local subtree = open_message(tvb, pinfo, tree, hostif_proto, "HOSTIF", 18, expert_info.h_truncated)
    if not subtree then return end
    local message_length = tvb(2, 2):le_uint()
    local opcode = tvb(9, 1):uint()
    local address = tvb(14, 4):le_uint()
    local data_count = math.max(message_length - 12, 0)
    local message_end = 6 + math.max(message_length, 12)
    local available = math.min(message_end, length) - 18

    -- A message of one 32-bit word: the device's registers and mailbox.
    local word = nil
    if data_count == 4 and available >= 4 then word = tvb(18, 4):le_uint() end
    local record = hostif_frames[pinfo.number] or classify_hostif(tvb, pinfo, opcode, address, word, data_count)

    -- A reply is read in the light of its request: the device's own opcode and
    -- address bytes in a reply are not relied on.
    local meant_opcode = record.opcode or opcode
    local meant_address = record.address or address
    -- A write reply's length field counts the bytes written; the data need
    -- not follow, so a frame that ends after the header is whole.
    local write_reply = record.role == REPLY and is_write(meant_opcode)

    local length_item = subtree:add_le(f.h_length, tvb(2, 2))
    if write_reply then
        add_generated(subtree, f.h_written, data_count)
        if record.request_count and data_count > record.request_count then
            length_item:add_proto_expert_info(expert_info.h_overcount, string.format(
                "Write reply counts %d bytes written; the request wrote %d", data_count, record.request_count))
        end
        if message_length < 12 then check_length(length_item, expert_info.h_length, message_length, 12, 0, 0) end
    else
        add_generated(subtree, f.h_data_length, data_count)
        check_length(length_item, expert_info.h_length, message_length, 12, message_end, length)
    end
    subtree:add(f.h_carried1, tvb(4, 5))
    local opcode_item = subtree:add(f.h_opcode, tvb(9, 1))
    subtree:add(f.h_carried2, tvb(10, 4))
    subtree:add_le(f.h_address, tvb(14, 4))
    if hostif_opcodes[opcode] == nil then
        opcode_item:add_proto_expert_info(expert_info.h_opcode, string.format("Unknown opcode %d", opcode))
    end

    add_generated(subtree, f.h_role, record.role)
    if record.role == REQUEST then
        if record.peer then add_generated(subtree, f.h_response_in, record.peer) end
    else
        if record.peer then
            add_generated(subtree, f.h_request_in, record.peer)
            add_generated(subtree, f.h_request_opcode, record.opcode)
            add_generated(subtree, f.h_request_address, record.address)
        end
    end

    local memory = meant_opcode == 2 or meant_opcode == 3
    local name = memory and address_name(meant_address) or nil
    if name then add_generated(subtree, f.h_address_name, name) end

    local table_summary = nil
    if write_reply then
        local echoed = record.echoed and data_count or 0
        if echoed > 0 then subtree:add(f.h_echo, tvb(18, echoed)) end
        if length > 18 + echoed then subtree:add(f.h_padding, tvb(18 + echoed)) end
    else
        if available > 0 then
            local data = tvb(18, available)
            if record.role == REQUEST and is_read(opcode) then
                subtree:add(f.h_unused, data)
            else
                subtree:add(f.h_data, data)
                if word ~= nil then subtree:add_le(f.h_word, tvb(18, 4)) end
            end
        end
        if record.role == REPLY and meant_opcode == 2 and available > 0 then
            if meant_address == STATION_COUNT and word ~= nil then
                add_generated(subtree, f.st_count, math.floor(word / 0x10000) % 256)
            end
            table_summary = add_table_entries(subtree, tvb, meant_address, available)
        end
        if message_end < length then subtree:add(f.h_padding, tvb(message_end, length - message_end)) end
    end
    if record.meaning then add_generated(subtree, f.h_meaning, record.meaning) end

    local operation = hostif_opcodes[meant_opcode] or string.format("Opcode %d", meant_opcode)
    local info = operation .. (record.role == REQUEST and " request" or " reply")
    if meant_opcode ~= 4 then
        info = info .. string.format(" 0x%08x", meant_address)
        if name then info = info .. " (" .. name .. ")" end
    end
    if record.role == REQUEST and is_read(opcode) then
        info = info .. string.format(", %d bytes", data_count)
    elseif record.role == REQUEST and is_write(opcode) then
        info = info .. string.format(", %d bytes", data_count)
        if word ~= nil then info = info .. string.format(": 0x%08x", word) end
    elseif write_reply then
        info = info .. string.format(", %d bytes written", data_count)
    elseif record.role == REPLY then
        if word ~= nil then
            info = info .. string.format(": 0x%08x", word)
        else
            info = info .. string.format(", %d bytes", data_count)
        end
    end
    local meaning = record.meaning or table_summary
    if meaning then info = info .. " [" .. meaning .. "]" end
    pinfo.cols.info = info
end

------------------------------------------------------------------------------
-- Device-address query (03 00): the PC broadcasts its header template; the
-- first frame another station then sends to the broadcast address answers it
-- (that is what the loader's broadcast filter lets through) and names the
-- device by its source address, whatever else it carries. A query is over
-- once its sender sends anything again.

local QUERY_SIZE = 18  -- bytes 14-31 of the frame
local BROADCAST = Address.ether("ff:ff:ff:ff:ff:ff")

-- The part a frame plays in an address query, decided on the first pass:
-- { role, peer }, or false for a frame that plays none.
local function classify_query(pinfo, type)
    local known = query_frames[pinfo.number]
    if known ~= nil then return known end
    local source = tostring(pinfo.dl_src)
    if pending_query and pending_query.source == source then pending_query = nil end
    local record = false
    if pending_query and pinfo.dl_dst == BROADCAST then
        record = { role = REPLY, peer = pending_query.number }
        query_frames[pending_query.number].peer = pinfo.number
        pending_query = nil
    elseif type == TYPE_QUERY then
        -- Another station's 03 00 frame after a query was answered: a late
        -- answer, not a query of its own.
        if not queriers[source] and next(queriers) ~= nil then
            record = { role = REPLY }
        else
            record = { role = REQUEST }
            queriers[source] = true
            pending_query = { number = pinfo.number, source = source }
        end
    end
    query_frames[pinfo.number] = record
    return record
end

-- The header template bytes of a query (a request, or a reply in the query's
-- own form), as far as the frame has them, and whatever follows the query.
local function add_query_template(subtree, tvb)
    local template = math.min(tvb:len(), QUERY_SIZE) - 2
    if template > 0 then subtree:add(f.q_template, tvb(2, template)) end
    if tvb:len() > QUERY_SIZE then subtree:add(f.h_padding, tvb(QUERY_SIZE)) end
end

local function dissect_query(tvb, pinfo, tree, record, type)
    local subtree = tree:add(hostif_proto, tvb())
    pinfo.cols.protocol = "HOSTIF"
    add_generated(subtree, f.h_role, record.role)
    if record.role == REQUEST then
        if record.peer then add_generated(subtree, f.h_response_in, record.peer) end
        add_query_template(subtree, tvb)
        if tvb:len() < QUERY_SIZE then
            subtree:add_proto_expert_info(expert_info.q_truncated, string.format(
                "Address query ends after %d of its %d bytes", tvb:len(), QUERY_SIZE))
        end
        pinfo.cols.info = "Device address query"
        return
    end
    if record.peer then add_generated(subtree, f.h_request_in, record.peer) end
    add_generated(subtree, f.q_device, pinfo.dl_src)
    if type == TYPE_QUERY then
        add_query_template(subtree, tvb)
    elseif tvb:len() > 2 then
        subtree:add(f.q_answer, tvb(2))
    end
    pinfo.cols.info = "Device address query answer: " .. tostring(pinfo.dl_src)
end

------------------------------------------------------------------------------
-- ZDP test messages (offsets below are from byte 14 of the frame)

-- Scale factors T[mask][baud][const] of the demodulator samples' SNR.
local scale_factors = {
    {
        { 1.0, 0.1111, 0.3333, 0.25, 0.1429, 0.1111, 0.0667 },
        { 0.7071, 0.0786, 0.2357, 0.1768, 0.101, 0.0786, 0.0471 },
        { 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0 },
        { 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0 },
    },
    {
        { 1.0, 0.1111, 0.3333, 0.25, 0.1429, 0.1111, 0.0667 },
        { 0.7071, 0.0786, 0.2509, 0.1812, 0.1113, 0.0835, 0.0534 },
        { 0.5, 0.0556, 0.1952, 0.1396, 0.0897, 0.0664, 0.0438 },
        { 0.3119, 0.0335, 0.1225, 0.086, 0.0583, 0.0418, 0.0288 },
    },
}


-- SNR in dB over the valid samples, as the loader computes it from a
-- receiver's statistics; nil when no sample is valid.
local function samples_snr(samples)
    local sum, valid = 0.0, 0
    for _, sample in ipairs(samples) do
        local constellation, baud, mask = split_pe(sample.pe)
        local ratio = sample.psc ~= 0 and sample.sea / sample.psc or 0
        if constellation >= 1 and constellation <= 7 and mask <= 2 and ratio ~= 0 then
            local factor = scale_factors[mask][baud][constellation]
            sum = sum + (524288 / 2 ^ (baud - 1)) / (factor * factor * ratio)
            valid = valid + 1
        end
    end
    if valid == 0 then return nil, 0 end
    local mean = sum / valid
    if mean == 0 or mean ~= mean then return 0.0, valid end
    return 10 * math.log(mean, 10), valid
end

-- Adds the value of one segment; gives the segment's label with its value.
local function add_segment_value(tree, type_item, tvb, offset, type, value_length, state)
    local kind = segment_kinds[type]
    local value = tvb(offset, value_length)
    if kind and (value_length == kind[3] or (type == 0x0001 and value_length > 1)) then
        local range = tvb(offset, kind[3])
        local item = tree:add(kind.field, range)
        if kind[3] == 6 then return kind[2] .. " = " .. tostring(range:ether()) end
        local number = range:uint()
        local text = string.format(kind[4] == base.HEX and "0x%08x" or "%d", number)
        if (kind[5] == "pe_or_unset" or kind[5] == "unset") and number == 255 then
            item:append_text(" (not set)")
            text = text .. " (not set)"
        elseif kind[5] == "pe" or kind[5] == "pe_or_unset" then
            text = text .. " (" .. add_pe(item, range, number, zdp_pe_fields) .. ")"
        end
        if type == 0x0001 then state.error_code = number end
        if type >= FIRST_COUNTER and type <= LAST_COUNTER then
            state.counters = true
            if type >= FIRST_RECEIVER_COUNTER then state.receiver = true end
        end
        return kind[2] .. " = " .. text
    end
    -- The samples of a receiver's demodulator follow its counters, one per
    -- segment: sea (u32), psc (u16), pe (u16), little-endian.
    if state.counters and value_length == 8 and not kind then
        local sample = { sea = tvb(offset, 4):le_uint(), psc = tvb(offset + 4, 2):le_uint(),
            pe = tvb(offset + 6, 2):le_uint() }
        state.samples[#state.samples + 1] = sample
        type_item:append_text(" (demodulator sample)")
        tree:add_le(f.s_sea, tvb(offset, 4))
        tree:add_le(f.s_psc, tvb(offset + 4, 2))
        local pe_item = tree:add_le(f.s_pe, tvb(offset + 6, 2))
        local pe_text = add_pe(pe_item, tvb(offset + 6, 2), sample.pe, zdp_pe_fields)
        if sample.psc ~= 0 then tree:add(f.s_ratio, value, sample.sea / sample.psc):set_generated() end
        return string.format("Demodulator sample %d: sea %d, psc %d, pe %d (%s)",
            #state.samples, sample.sea, sample.psc, sample.pe, pe_text)
    end
    tree:add(f.z_seg_value, value)
    return segment_type_names[type] or string.format("Unknown segment type 0x%04x", type)
end

local function classify_zdp(pinfo, opcode, sequence)
    local record = {}
    if opcode == ZDP_OK or opcode == ZDP_ERROR then
        local request = zdp_requests[tostring(pinfo.dl_dst) .. "#" .. sequence]
        if request then
            local request_record = zdp_frames[request]
            record.peer, record.ack_of = request, request_record.opcode
            if not request_record.peer then request_record.peer = pinfo.number end
        end
    else
        zdp_requests[tostring(pinfo.dl_src) .. "#" .. sequence] = pinfo.number
        record.opcode = opcode
    end
    zdp_frames[pinfo.number] = record
    return record
end

local function dissect_zdp(tvb, pinfo, tree)
    local length = tvb:len()
    local subtree = open_message(tvb, pinfo, tree, zdp_proto, "ZDP", 12, expert_info.z_truncated)
    if not subtree then return end
    local message_length = tvb(2, 2):uint()
    local opcode = tvb(5, 1):uint()
    local sequence = tvb(10, 2):uint()
    local record = zdp_frames[pinfo.number] or classify_zdp(pinfo, opcode, sequence)

    local length_item = subtree:add(f.z_length, tvb(2, 2))
    subtree:add(f.z_reserved1, tvb(4, 1))
    local opcode_item = subtree:add(f.z_opcode, tvb(5, 1))
    subtree:add(f.z_reserved2, tvb(6, 4))
    subtree:add(f.z_seq, tvb(10, 2))
    if zdp_opcodes[opcode] == nil then
        opcode_item:add_proto_expert_info(expert_info.z_opcode, string.format("Unknown opcode 0x%02x", opcode))
    end
    if record.peer and record.ack_of then
        add_generated(subtree, f.z_request_in, record.peer)
        add_generated(subtree, f.z_ack_of, record.ack_of)
    elseif record.peer then
        add_generated(subtree, f.z_response_in, record.peer)
    end

    local message_end = 2 + math.max(message_length, 10)
    check_length(length_item, expert_info.z_length, message_length, 10, message_end, length)
    local bound = math.min(message_end, length)

    local state = { samples = {} }
    local offset = 12
    while offset < bound do
        if offset + 4 > bound then
            local rest = tvb(offset, bound - offset)
            subtree:add(rest, "Incomplete segment header"):add_proto_expert_info(expert_info.z_segment,
                string.format("Segment header at offset %d runs past the end of the message", offset + 14))
            offset = bound
            break
        end
        local type = tvb(offset, 2):uint()
        local value_length = tvb(offset + 2, 2):uint()
        local padded = value_length + (4 - value_length % 4) % 4
        local segment_end = offset + 4 + padded
        local value_end = offset + 4 + value_length
        local segment = subtree:add(tvb(offset, math.min(segment_end, bound) - offset), "Segment")
        local type_item = segment:add(f.z_seg_type, tvb(offset, 2))
        segment:add(f.z_seg_length, tvb(offset + 2, 2))
        if value_end > bound then
            if bound > offset + 4 then segment:add(f.z_seg_value, tvb(offset + 4, bound - offset - 4)) end
            segment:append_text(": " .. (segment_type_names[type] or string.format("type 0x%04x", type)))
            segment:add_proto_expert_info(expert_info.z_segment, string.format(
                "Segment of type 0x%04x with %d value bytes runs %d bytes past the end of the %s",
                type, value_length, value_end - bound, bound == length and "frame" or "message"))
            offset = bound
            break
        end
        local label = value_length > 0 and add_segment_value(segment, type_item, tvb, offset + 4, type, value_length, state)
            or (segment_type_names[type] or string.format("Unknown segment type 0x%04x", type))
        segment:append_text(": " .. label)
        local pad_end = math.min(segment_end, bound)
        if pad_end > value_end then segment:add(f.z_seg_padding, tvb(value_end, pad_end - value_end)) end
        offset = segment_end
    end

    if #state.samples > 0 then
        local snr, valid = samples_snr(state.samples)
        if snr then
            local item = subtree:add(f.snr, snr)
            item:set_generated()
            if snr == math.huge then item:append_text(" (a sample's encoding has no scale factor)") end
            add_generated(subtree, f.snr_samples, valid)
        end
    end

    local marker_at = message_end
    if marker_at + 2 <= length then
        subtree:add(f.z_end_marker, tvb(marker_at, 2))
        if marker_at + 2 < length then subtree:add(f.z_padding, tvb(marker_at + 2)) end
    end

    local info = string.format("%s seq=%d", zdp_opcode_name(opcode), sequence)
    if record.ack_of then info = info .. " (acknowledges " .. zdp_opcode_name(record.ack_of) .. ")" end
    if state.error_code then info = info .. string.format(", error code %d", state.error_code) end
    if state.counters then
        info = info .. (state.receiver and ", statistics of a receiver" or ", statistics of a transmitter")
    end
    pinfo.cols.info = info
end

------------------------------------------------------------------------------
-- Entry: the EtherType table hands over everything after the Ethernet header.

function link_proto.dissector(tvb, pinfo, tree)
    local length = tvb:len()
    local subtree = tree:add(link_proto, tvb())
    if length < 2 then
        subtree:add_proto_expert_info(expert_info.short)
        pinfo.cols.protocol = "HPNADEV"
        pinfo.cols.info = "Frame ends before the sub-protocol bytes"
        return length
    end
    local type = tvb(0, 2):uint()
    local type_item = subtree:add(f.type, tvb(0, 2))
    local query = classify_query(pinfo, type)
    if query then
        if type ~= TYPE_QUERY then type_item:append_text(" (not interpreted: the answer to an address query)") end
        dissect_query(tvb, pinfo, tree, query, type)
    elseif type == TYPE_HOSTIF then
        dissect_hostif(tvb, pinfo, tree)
    elseif type == TYPE_ZDP then
        dissect_zdp(tvb, pinfo, tree)
    else
        local text = string.format("Unknown sub-protocol %02x %02x", tvb(0, 1):uint(), tvb(1, 1):uint())
        pinfo.cols.protocol = "HPNADEV"
        pinfo.cols.info = text
        type_item:add_proto_expert_info(expert_info.unknown_type, text)
        if length > 2 then subtree:add(tvb(2), string.format("Data (%d bytes)", length - 2)) end
    end
    return length
end

DissectorTable.get("ethertype"):add(ETHERTYPE, link_proto)
