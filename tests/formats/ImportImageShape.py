#!/usr/bin/env python3
"""Checks import-image.json files against EC2's own model of ImportImage.

The model is the one botocore ships (Debian: python3-botocore), newest API
version: each file must be the call's input shape, recursively: every key a
member of its structure, every required member there, each value of its
shape's type, within its enum and length bounds.

Usage: ImportImageShape.py FILE...   Exit 0: all valid; 1: a file is not;
77: botocore's model is not installed (the test is skipped).
"""
import glob
import gzip
import importlib.util
import json
import os
import sys

SKIP = 77
DEBIAN_BOTOCORE = "/usr/lib/python3/dist-packages/botocore"


def model_file():
    found = importlib.util.find_spec("botocore")
    roots = [os.path.dirname(found.origin)] if found and found.origin else []
    roots.append(DEBIAN_BOTOCORE)
    for root in roots:
        versions = sorted(glob.glob(os.path.join(root, "data", "ec2", "*")))
        for version in reversed(versions):
            for name in ("service-2.json", "service-2.json.gz"):
                path = os.path.join(version, name)
                if os.path.isfile(path):
                    return path
    return None


def load_model(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt", encoding="utf-8") as f:
        return json.load(f)


# JSON value types of the model's scalar shape types.
SCALARS = {
    "string": (str,),
    "integer": (int,),
    "long": (int,),
    "boolean": (bool,),
    "double": (int, float),
    "float": (int, float),
    "timestamp": (str, int, float),
}


def check(value, shape_name, shapes, where, errors):
    shape = shapes[shape_name]
    kind = shape["type"]
    if kind == "structure":
        if not isinstance(value, dict):
            errors.append(f"{where}: not an object ({shape_name})")
            return
        members = shape.get("members", {})
        for key in value:
            if key not in members:
                errors.append(f"{where}: {key} is no member of {shape_name}")
        for key in shape.get("required", []):
            if key not in value:
                errors.append(f"{where}: required {key} missing")
        for key, item in value.items():
            if key in members:
                check(item, members[key]["shape"], shapes, f"{where}.{key}",
                      errors)
    elif kind == "list":
        if not isinstance(value, list):
            errors.append(f"{where}: not a list ({shape_name})")
            return
        bounds(len(value), shape, where, errors)
        for i, item in enumerate(value):
            check(item, shape["member"]["shape"], shapes, f"{where}[{i}]",
                  errors)
    elif kind == "map":
        if not isinstance(value, dict):
            errors.append(f"{where}: not an object ({shape_name})")
            return
        for key, item in value.items():
            check(key, shape["key"]["shape"], shapes, f"{where} key", errors)
            check(item, shape["value"]["shape"], shapes, f"{where}.{key}",
                  errors)
    elif kind in SCALARS:
        wrong_bool = kind != "boolean" and isinstance(value, bool)
        if not isinstance(value, SCALARS[kind]) or wrong_bool:
            errors.append(f"{where}: {value!r} is not a {kind}")
            return
        if "enum" in shape and value not in shape["enum"]:
            errors.append(f"{where}: {value!r} is none of {shape['enum']}")
        if kind == "string":
            bounds(len(value), shape, where, errors)
        elif kind in ("integer", "long"):
            bounds(value, shape, where, errors)
    else:
        errors.append(f"{where}: shape type {kind} is not checked")


def bounds(size, shape, where, errors):
    if "min" in shape and size < shape["min"]:
        errors.append(f"{where}: {size} is below the minimum {shape['min']}")
    if "max" in shape and size > shape["max"]:
        errors.append(f"{where}: {size} is above the maximum {shape['max']}")


def main(files):
    path = model_file()
    if path is None:
        print("botocore's EC2 model is not installed (python3-botocore)")
        return SKIP
    model = load_model(path)
    shapes = model["shapes"]
    request = model["operations"]["ImportImage"]["input"]["shape"]
    print(f"ImportImage input {request} from {path}")
    failed = 0
    for name in files:
        with open(name, encoding="utf-8") as f:
            document = json.load(f)
        errors = []
        check(document, request, shapes, "import-image.json", errors)
        for error in errors:
            print(f"{name}: {error}")
        failed += bool(errors)
    print(f"{len(files) - failed} of {len(files)} files valid")
    return 1 if failed or not files else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
