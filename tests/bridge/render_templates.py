#!/usr/bin/python3
"""Renders value templates of discovery messages the way the automation system does: each with
`value` (the payload) and `value_json` (the payload as JSON) in a sandboxed Jinja environment.

Input as the one argument: a JSON list of [template, payload] pairs. Output: a JSON list of the
rendered texts, in order.
"""
import json
import sys

from jinja2.sandbox import ImmutableSandboxedEnvironment

env = ImmutableSandboxedEnvironment()
out = []
for template, payload in json.loads(sys.argv[1]):
    out.append(env.from_string(template).render(value=payload, value_json=json.loads(payload)))
json.dump(out, sys.stdout)
