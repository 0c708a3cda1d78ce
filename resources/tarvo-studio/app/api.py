"""What the guarded endpoints do with a request body, apart from HTTP.

Each handler takes the decoded JSON body and returns (status, reply).
Bad input is 400/422 with a "detail" text; an action that cannot be done
is reported with an "error" text, which the desktop app shows first.
"""

import math

from .work import WorkFull

MAX_TOOL_NAME = 80
MAX_SECONDS = 3600
# A call that waits for approval runs this long once approved, unless told.
DEFAULT_ASK_SECONDS = 5


class BadInput(Exception):
    def __init__(self, detail, status=422):
        super().__init__(detail)
        self.detail = detail
        self.status = status


def call(work, body):
    """POST /api/call: {"action": "run" | "ask" | "chat", ...}."""
    try:
        _need_object(body)
        action = body.get("action")
        if action == "run":
            tool = _tool(body)
            seconds = _seconds(body, required=True)
            return 200, {"ok": True, "id": work.run(tool, seconds), "tool": tool, "seconds": seconds}
        if action == "ask":
            tool = _tool(body)
            seconds = _seconds(body, required=False)
            return 200, {"ok": True, "id": work.ask(tool, seconds), "tool": tool, "waiting": True}
        if action == "chat":
            seconds = _seconds(body, required=True)
            return 200, {"ok": True, "id": work.chat(seconds), "seconds": seconds}
        if not isinstance(action, str):
            raise BadInput('"action" must be one of "run", "ask" or "chat"')
        raise BadInput(f'unknown action "{action[:40]}"; use "run", "ask" or "chat"')
    except BadInput as bad:
        return bad.status, {"detail": bad.detail}
    except WorkFull as full:
        return 429, {"error": str(full)}


def approve(work, body):
    """POST /api/approve: {"id": ..., "approve": true | false}."""
    try:
        _need_object(body)
        work_id = body.get("id")
        verdict = body.get("approve")
        if not isinstance(work_id, str) or not work_id:
            raise BadInput('"id" must be the text id of a waiting call')
        if not isinstance(verdict, bool):
            raise BadInput('"approve" must be true or false')
    except BadInput as bad:
        return bad.status, {"detail": bad.detail}
    if not work.answer(work_id, verdict):
        return 404, {"detail": "no such call"}
    return 200, {"ok": True, "id": work_id, "approved": verdict}


def _need_object(body):
    if not isinstance(body, dict):
        raise BadInput("the body must be a JSON object", status=400)


def _tool(body):
    tool = body.get("tool")
    if not isinstance(tool, str) or not tool.strip():
        raise BadInput('"tool" must be a non-empty text')
    tool = tool.strip()
    if len(tool) > MAX_TOOL_NAME or not tool.isprintable():
        raise BadInput(f'"tool" must be printable and at most {MAX_TOOL_NAME} characters')
    return tool


def _seconds(body, required):
    if "seconds" not in body and not required:
        return DEFAULT_ASK_SECONDS
    seconds = body.get("seconds")
    # bool is an int in Python; true is not a duration.
    if isinstance(seconds, bool) or not isinstance(seconds, (int, float)):
        raise BadInput('"seconds" must be a number')
    if not math.isfinite(seconds) or not 0 < seconds <= MAX_SECONDS:
        raise BadInput(f'"seconds" must be more than 0 and at most {MAX_SECONDS}')
    return seconds
