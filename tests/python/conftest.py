"""Shared fixtures: a demo database made by the tool, and its descriptor."""

import os
import subprocess

import pytest


def _tool():
    tool = os.environ.get("Q8VANTORPT_TOOL")
    if not tool or not os.access(tool, os.X_OK):
        pytest.skip("the tool q8vantorpt is not built (Q8VANTORPT_TOOL)")
    return tool


def descriptor(path, language="CHS", user_id=0):
    return (f"ConnectString={{Provider=SQLite;Data Source={path}}};DBMS Name=SQLite;"
            f"DBMS Version=3;Language={language};UserID={user_id}")


@pytest.fixture(scope="session")
def tool():
    return _tool()


@pytest.fixture(scope="session")
def demo_db(tool, tmp_path_factory):
    path = tmp_path_factory.mktemp("demo") / "demo.db"
    subprocess.run([tool, "demo-db", str(path), "--scale", "1500"], check=True,
                   stdout=subprocess.DEVNULL)
    return str(path)


@pytest.fixture(scope="session")
def dsn(demo_db):
    return descriptor(demo_db)
