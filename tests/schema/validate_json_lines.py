#!/usr/bin/env python3
"""Validates JSON Lines records of tarvel-diff and tarvel-dump against their JSON Schemas.

Usage: validate_json_lines.py SCHEMA_DIR FILE_OR_DIR...

Every line of every file given (or of every *.jsonl file in a folder given) must be a record
that the schema of its program and type accepts: a header names its program; any other record
type belongs to one program only. Fails when a line is refused, when no line was found at all,
or when the schemas accept one of the records below that the programs never write.
"""
import json
import pathlib
import sys

import jsonschema

# Records no program writes, each with what is wrong with it: the schemas must refuse them all.
REFUSED = [
    ({"type": "change", "section": "registry", "change": "added", "path": "x"}, "unknown section"),
    ({"type": "change", "section": "autorun", "change": "modified", "path": "x",
      "old_sha1": None, "new_sha1": None}, "autorun entries are added or removed"),
    ({"type": "change", "section": "file", "change": "modified", "path": "x",
      "old_sha1": "a"}, "modified without new_sha1"),
    ({"type": "change", "section": "hosts", "change": "added", "line": "x",
      "line_hex": "78"}, "_hex without lossy"),
    ({"type": "change", "section": "application", "change": "added", "label": "x"},
     "application without key"),
    ({"type": "summary", "counts": {}, "excluded": {}, "differences": 0}, "empty counts"),
    ({"type": "header", "schema": "tarvel-diff/2", "tool": "tarvel-diff", "tool_version": "1.05",
      "old": {"path": "a", "version": 5, "digest": "checked"},
      "new": {"path": "b", "version": 5, "digest": "checked"}}, "another schema version"),
    ({"type": "hosts", "line": "x", "lossy": True}, "lossy without line_hex"),
    ({"type": "application", "offset": 1, "key": "k"}, "complete application missing texts"),
    ({"type": "entry", "offset": 1}, "entry without its fields"),
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


def errors_of(validators, record):
    validator = validator_for(validators, record)
    if validator is None:
        return ["no schema for this record type"]
    return [f"{'/'.join(map(str, error.absolute_path)) or '(record)'}: {error.message}"
            for error in validator.iter_errors(record)]


def main(arguments):
    validators = load_validators(arguments[0])
    failures = 0
    for record, wrong in REFUSED:
        if not errors_of(validators, record):
            print(f"the schemas accept a record with {wrong}: {json.dumps(record)}")
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
                problems = errors_of(validators, json.loads(line))
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
