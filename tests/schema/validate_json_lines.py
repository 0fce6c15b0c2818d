#!/usr/bin/env python3
"""Validates JSON Lines records of tarvel-diff and tarvel-dump against their JSON Schemas.

Usage: validate_json_lines.py SCHEMA_DIR FILE_OR_DIR...

Every line of every file given (or of every *.jsonl file in a folder given) must be a record
that the schema of its program and type accepts: a header names its program; any other record
type belongs to one program only. Beyond what a schema can say, a record must name each member
once, begin with "type", have each <field>_hex right after its <field> and "lossy" last, and a
summary's totals must add up. Fails when a line is refused, when no line was found at all, when
a record below that the programs write is refused, or when one that they never write is not.
"""
import json
import pathlib
import sys

import jsonschema

# Removes a member from a record made for the refused table.
GONE = object()

# Records as the programs write them, one of each form the tests' own runs may not reach: the
# schemas must accept them all. The refused records below are made from these.
S1 = "2b66fd261ee5c6cfc8de7fa466bab600bcfe4f69"
COUNTS = {"autorun": {"added": 1, "removed": 0}, "application": {"added": 0, "removed": 0},
          "hosts": {"added": 0, "removed": 0},
          "file": {"modified": 0, "no_sha1": 0, "status": 1}, "total": 2}
ZERO = {"autorun": {"added": 0, "removed": 0}, "application": {"added": 0, "removed": 0},
        "hosts": {"added": 0, "removed": 0},
        "file": {"modified": 0, "no_sha1": 0, "status": 0}, "total": 0}
ACCEPTED = {
    "diff header": {"type": "header", "schema": "tarvel-diff/2", "tool": "tarvel-diff",
                    "tool_version": "1.05", "host": "h\ufffd", "host_hex": "68ff",
                    "old": {"path": "o\ufffd", "path_hex": "6fff", "version": 5,
                            "digest": "checked"},
                    "new": {"path": "n", "version": 3, "digest": "absent"}, "lossy": True},
    "autorun": {"type": "change", "host": "h1", "section": "autorun", "change": "added",
                "path": "C:\\x.exe", "sha1": None, "known_bad": "new"},
    "lossy autorun": {"type": "change", "section": "autorun", "change": "removed",
                      "path": "C:\\x\ufffd", "path_hex": "0043d800", "sha1": "\ufffd",
                      "sha1_hex": "dc00", "lossy": True},
    "status": {"type": "change", "section": "file", "change": "status", "path": "C:\\x",
               "old_flags_a": 32, "old_flags_b": 0, "old_flags_c": 2147483648,
               "old_flags_d": 0, "new_flags_a": 96, "new_flags_b": 0,
               "new_flags_c": 4294967295, "new_flags_d": 0, "known_bad": "both"},
    "no_sha1": {"type": "change", "section": "file", "change": "no_sha1", "path": "C:\\x",
                "old_sha1": S1, "new_sha1": None},
    "hosts": {"type": "change", "host": "h\ufffd", "host_hex": "68ff", "section": "hosts",
              "change": "added", "line": "10.0.0.1 \ufffd", "line_hex": "31302e302e302e3120ff",
              "lossy": True},
    "summary": {"type": "summary", "host": "h1", "count": COUNTS, "excluded": ZERO,
                "known_good": ZERO, "known_bad": ZERO,
                "unmatched_rules": [{"rules_file": "r\ufffd", "rules_file_hex": "72fe",
                                     "unmatched_lines": [1, 4]},
                                    {"rules_file": "s", "unmatched_lines": []}],
                "differences": 2, "lossy": True},
    "dump header": {"type": "header", "schema": "tarvel-dump/2", "tool": "tarvel-dump",
                    "tool_version": "1.05", "path": "o\ufffd.img", "path_hex": "6fff2e696d67",
                    "version": 5, "size": 2394, "digest": "mismatch", "sound": False,
                    "header_block": "00" * 284, "lossy": True},
    "malformed dump header": {"type": "header", "schema": "tarvel-dump/2",
                              "tool": "tarvel-dump", "tool_version": "1.05", "path": "one.img",
                              "version": 0, "size": 1, "digest": "absent", "sound": False,
                              "malformed_at": 0, "expected": "a version word"},
    "long hosts line": {"type": "hosts", "line_hex": "68" * 8},
    "application": {"type": "application", "offset": 311, "key_hex": "6b006b000000",
                    "text_2": "text 2", "label": "L\ufffd", "label_hex": "004cd800",
                    "text_4": "text 4", "lossy": True},
    "incomplete application": {"type": "application", "offset": 700, "key": "", "text_2": "",
                               "incomplete": True},
    "entry": {"type": "entry", "offset": 315, "name": "x.exe", "directory": "C:\\T",
              "extra_text": "", "lead_value": 0, "byte_a": 0, "dword_a": 0, "dword_b": 0,
              "block_a": "00" * 64, "flags_a": 32, "flags_b": 0, "flags_c": 0, "flags_d": 0,
              "byte_b": 0, "word_a": 0, "byte_c": 0, "properties_size": 137,
              "properties": [{"name": "n\ufffd", "name_hex": "006ed800", "value": "v"},
                             {"name": "Bin", "value_hex": "010203"},
                             {"name_hex": "004200690067"}, {"name": "Cut"}],
              "properties_well_formed": False, "sha1": "\ufffda", "sha1_hex": "dc000061",
              "lossy": True},
}

# Records no program writes, each made from an accepted one (members replaced, added, or removed
# with GONE) or written whole (as a line where a dict cannot hold the fault), with what is wrong
# with it: the schemas and the checks below must refuse them all.
REFUSED = [
    ("autorun", {"section": "registry"}, "an unknown section"),
    ("autorun", {"change": "modified"}, "an autorun entry that is modified"),
    ("autorun", {"known_bad": "yes"}, "a known_bad that is no word of it"),
    ("autorun", {"label": "x"}, "a label on an autorun item"),
    ({"type": "change", "section": "autorun", "change": "added", "path": "x"},
     "an autorun item without sha1"),
    ("no_sha1", {"sha1": S1}, "sha1 on a file item"),
    ("no_sha1", {"new_sha1": GONE}, "a no_sha1 item without new_sha1"),
    ("no_sha1", {"new_sha1": None, "new_sha1_hex": "0061", "lossy": True},
     "new_sha1_hex beside a null SHA1 value"),
    ("no_sha1", {"old_sha1": 0}, "a SHA1 value that is a number"),
    ("status", {"new_flags_d": GONE}, "a status item without new_flags_d"),
    ("status", {"old_flags_a": 4294967296}, "a status word past 32 bits"),
    ({"type": "change", "section": "file", "change": "status", "path": "x",
      "old_status": {"flags_a": 32, "flags_b": 0, "flags_c": 0, "flags_d": 0},
      "new_status": {"flags_a": 96, "flags_b": 0, "flags_c": 0, "flags_d": 0}},
     "status words as the objects of tarvel-diff/1"),
    ("no_sha1", {"old_flags_a": 0}, "a status word on an item that is not a status change"),
    ("hosts", {"lossy": GONE}, "line_hex without lossy"),
    ("hosts", {"known_bad": "old"}, "known_bad on a hosts line"),
    ("hosts", {"line": GONE}, "line_hex alone in a change"),
    ("lossy autorun", {"path_hex": GONE, "sha1_hex": GONE}, "lossy without any _hex"),
    ({"type": "change", "section": "autorun", "change": "added", "path": "x", "sha1": None,
      "path_hex": "0078", "lossy": True}, "path_hex not right after path"),
    ({"type": "change", "section": "autorun", "change": "added", "path": "x",
      "path_hex": "0078", "lossy": True, "sha1": None}, "lossy not last"),
    ({"type": "change", "section": "application", "change": "added", "label": "x"},
     "an application without key"),
    ('{"type":"change","section":"hosts","change":"added","line":"x","line":"y"}',
     "a member written twice"),
    ("diff header", {"schema": "tarvel-diff/1"}, "the schema of the last version"),
    ("diff header", {"lossy": GONE}, "a path and host not whole without lossy"),
    ("diff header", {"host_hex": GONE, "old": {"path": "o", "version": 5, "digest": "checked"}},
     "lossy without any _hex"),
    ("diff header", {"new": {"path": "n", "version": 5, "digest": "ok"}}, "digest ok"),
    ("diff header", {"new": {"path": "n", "version": 3, "digest": "checked"}},
     "a checked digest in a version without one"),
    ("summary", {"known_good": GONE}, "a summary without known_good"),
    ("summary", {"counts": COUNTS, "count": GONE}, "counts as tarvel-diff/1 named them"),
    ("summary", {"excluded": {k: v for k, v in ZERO.items() if k != "total"}},
     "counts without their total"),
    ("summary", {"unmatched_rules": [{"file": "r", "lines": [1]}], "host": GONE, "lossy": GONE},
     "unmatched rules as tarvel-diff/1 named them"),
    ("summary", {"host": GONE, "unmatched_rules": [{"rules_file": "r", "rules_file_hex": "72",
                                                    "unmatched_lines": [1]}], "lossy": GONE},
     "rules_file_hex without lossy"),
    ("summary", {"count": COUNTS | {"total": 3}}, "a total that is not the sum of its counts"),
    ("summary", {"differences": 1}, "differences other than the total written"),
    ("dump header", {"digest": "ok"}, "digest ok"),
    ("dump header", {"lossy": GONE}, "path_hex without lossy"),
    ("dump header", {"sound": True}, "a digest mismatch in a sound image"),
    ("dump header", {"version": 3, "digest": "checked", "sound": True},
     "a checked digest in version 3"),
    ("dump header", {"header_block": "00" * 283}, "a header block that is not 284 bytes"),
    ("malformed dump header", {"expected": GONE}, "malformed_at without expected"),
    ({"type": "hosts", "line": "x", "lossy": True}, "lossy without line_hex"),
    ({"type": "hosts", "line": "x", "lossy": True, "line_hex": "78"}, "lossy before line_hex"),
    ("long hosts line", {"lossy": True}, "a long line alone that says it is lossy"),
    ("application", {"text_4": GONE}, "a whole application without text_4"),
    ("application", {"lossy": GONE}, "label_hex beside label without lossy"),
    ("application", {"label_hex": "4cd800"}, "units beside a text that are not whole units"),
    ("application", {"key_hex": GONE}, "a whole application without key"),
    ("incomplete application", {"lossy": True}, "lossy without any _hex"),
    ("entry", {"directory": GONE}, "an entry without directory"),
    ("entry", {"lossy": GONE, "sha1": "a", "sha1_hex": GONE,
               "properties": [{"name": "n\ufffd", "name_hex": "006ed800"}]},
     "a property name not whole in a record that is not lossy"),
    ("entry", {"properties": [{"name": "x", "value": "v", "value_hex": "7600"}]},
     "a property value both as text and as bytes"),
    ("entry", {"sha1": None}, "sha1_hex beside a null SHA1 value"),
    ("entry", {"incomplete": True}, "an incomplete record with its SHA1 value"),
    ("entry", {"block_a": "00" * 63}, "block_a that is not 64 bytes"),
]

# The one program each record type other than the header belongs to.
PROGRAM_OF_TYPE = {"change": "tarvel-diff", "summary": "tarvel-diff", "hosts": "tarvel-dump",
                   "application": "tarvel-dump", "entry": "tarvel-dump"}


def load_validators(schema_dir):
    schemas = {}
    for path in sorted(pathlib.Path(schema_dir).glob("*.schema.json")):
        schema = json.loads(path.read_text(encoding="utf-8"))
        jsonschema.Draft202012Validator.check_schema(schema)
        schemas[schema["$id"]] = (path.name, schema)
    try:  # jsonschema 4.18 and later resolve references through a registry
        from referencing import Registry, Resource
        registry = Registry().with_resources(
            (uri, Resource.from_contents(schema)) for uri, (_, schema) in schemas.items())
        make = lambda schema: jsonschema.Draft202012Validator(schema, registry=registry)
    except ImportError:
        store = {uri: schema for uri, (_, schema) in schemas.items()}
        make = lambda schema: jsonschema.Draft202012Validator(
            schema, resolver=jsonschema.RefResolver.from_schema(schema, store=store))
    validators = {}
    for name, schema in schemas.values():
        parts = name.split(".")  # <program>.<type>.schema.json
        if parts[0] != "tarvel":
            validators[(parts[0], parts[1])] = make(schema)
    return validators


def validator_for(validators, record):
    kind = record.get("type") if isinstance(record, dict) else None
    program = record.get("tool") if kind == "header" else PROGRAM_OF_TYPE.get(kind)
    return validators.get((program, kind))


def member_problems(record, where="(record)"):
    """What a schema cannot say: the order of the members, in the record and in its objects."""
    problems = []
    names = list(record)
    if where == "(record)" and names[:1] != ["type"]:
        problems.append(f"{where}: \"type\" is not the first member")
    if "lossy" in names and names[-1] != "lossy":
        problems.append(f"{where}: \"lossy\" is not the last member")
    for at, name in enumerate(names):
        text = name[:-len("_hex")]
        if name.endswith("_hex") and text in record and (at == 0 or names[at - 1] != text):
            problems.append(f"{where}: \"{name}\" does not follow \"{text}\" at once")
    for name, value in record.items():
        for index, member in enumerate(value if isinstance(value, list) else [value]):
            if isinstance(member, dict):
                problems += member_problems(member, f"{name}/{index}")
    return problems


def summary_problems(record):
    """A summary's totals are the sums of its counts, and differences is the total written."""
    problems = []
    for name in ("count", "excluded", "known_good", "known_bad"):
        counts = record.get(name)
        if not isinstance(counts, dict) or not isinstance(counts.get("total"), int):
            continue
        lists = [n for section in counts.values() if isinstance(section, dict)
                 for n in section.values() if isinstance(n, int)]
        if sum(lists) != counts["total"]:
            problems.append(f"{name}: total {counts['total']} is not the sum {sum(lists)}")
    count = record.get("count")
    if isinstance(count, dict) and count.get("total") != record.get("differences"):
        problems.append(f"differences {record.get('differences')} is not count's total "
                        f"{count.get('total')}")
    return problems


def without_repeats(pairs):
    names = [name for name, _ in pairs]
    repeated = sorted({name for name in names if names.count(name) > 1})
    if repeated:
        raise ValueError(f"members written more than once: {', '.join(repeated)}")
    return dict(pairs)


def parse(line):
    return json.loads(line, object_pairs_hook=without_repeats)


def errors_of(validators, record):
    if isinstance(record, str):
        try:
            record = parse(record)
        except ValueError as error:
            return [f"(record): {error}"]
    validator = validator_for(validators, record)
    if validator is None:
        return ["no schema for this record type"]
    problems = [f"{'/'.join(map(str, error.absolute_path)) or '(record)'}: {error.message}"
                for error in validator.iter_errors(record)]
    problems += member_problems(record)
    if record.get("type") == "summary":
        problems += summary_problems(record)
    return problems


def made(row):
    """The record of a row of REFUSED: an accepted record with members replaced, added or
    removed, or the record as given."""
    if isinstance(row, tuple):
        base, changes = row
        record = dict(ACCEPTED[base])
        lossy = record.pop("lossy", GONE)
        for name, value in changes.items():
            if name == "lossy":
                lossy = value
            elif value is GONE:
                record.pop(name, None)
            else:
                record[name] = value  # a new member goes before "lossy", as the programs put it
        if lossy is not GONE:
            record["lossy"] = lossy
        return record
    return row


def main(arguments):
    validators = load_validators(arguments[0])
    failures = 0
    for name, record in ACCEPTED.items():
        for problem in errors_of(validators, record):
            print(f"the {name} record the programs write is refused: {problem}")
            failures += 1
    for *row, wrong in REFUSED:
        record = made(tuple(row) if len(row) == 2 else row[0])
        if not errors_of(validators, record):
            shown = record if isinstance(record, str) else json.dumps(record)
            print(f"a record with {wrong} is accepted: {shown}")
            failures += 1
    files = []
    for argument in arguments[1:]:
        path = pathlib.Path(argument)
        files += sorted(path.glob("*.jsonl")) if path.is_dir() else [path]
    lines = 0
    for path in files:
        with open(path, encoding="utf-8") as text:
            for number, line in enumerate(text, 1):
                lines += 1
                problems = errors_of(validators, line)
                for problem in problems[:5]:
                    print(f"{path}:{number}: {problem}")
                failures += bool(problems)
    if lines == 0:
        print("no JSON line to validate was found in", " ".join(arguments[1:]))
        return 1
    print(f"{lines} JSON lines from {len(files)} files checked against {len(validators)} schemas, "
          f"{failures} refused")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
