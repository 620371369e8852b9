"""Debian's chromium, driven through chromium-driver by python3-selenium: headless, on a fresh
profile, with everything that would reach another host switched off (the machine's network is
closed, and a test talks to loopback only)."""
import os
import shutil
import tempfile

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-default-apps", "--disable-extensions", "--no-default-browser-check",
         "--disable-features=Translate,MediaRouter,OptimizationHints",
         "--lang=en-US", "--force-color-profile=srgb", "--hide-scrollbars"]


def missing():
    """What is missing to run a browser test, as the package names to install."""
    needed = []
    if not os.access(CHROMIUM, os.X_OK):
        needed.append("chromium")
    if not os.access(CHROMEDRIVER, os.X_OK):
        needed.append("chromium-driver")
    try:
        import selenium  # noqa: F401
    except ImportError:
        needed.append("python3-selenium")
    return needed


class Browser:
    """One chromium with its own profile folder, removed when it quits."""

    def __init__(self, width=1280, height=900):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service

        self.profile = tempfile.mkdtemp(prefix="kstbell-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in FLAGS:
            options.add_argument(flag)
        options.add_argument(f"--user-data-dir={self.profile}")
        options.add_argument(f"--window-size={width},{height}")
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        service = Service(executable_path=CHROMEDRIVER, service_args=["--allowed-ips=127.0.0.1"])
        self.driver = webdriver.Chrome(service=service, options=options)
        self.driver.set_script_timeout(20)

    def viewport(self, width, height, mobile=False):
        """Sets the page's viewport exactly (a phone: mobile=True, touch and a scale of 2)."""
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 2 if mobile else 1,
            "mobile": mobile})

    def desk(self):
        self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def console(self):
        """The console's lines since the last call."""
        return self.driver.get_log("browser")

    def quit(self):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)
