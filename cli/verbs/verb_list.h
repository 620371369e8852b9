// Every verb of kstbellctl, in the order --help shows them. Adding a verb is adding its file to
// this folder (a class deriving TVerb and its Make...Verb function) and its line here.
//
// KSTBELL_VERB(X) names the function std::unique_ptr<TVerb> MakeXVerb().

KSTBELL_VERB(Scan)
KSTBELL_VERB(Info)
KSTBELL_VERB(Status)
KSTBELL_VERB(Watch)
KSTBELL_VERB(Relay)
KSTBELL_VERB(FindMe)
KSTBELL_VERB(ConfigShow)
KSTBELL_VERB(ConfigSave)
KSTBELL_VERB(ConfigDiff)
KSTBELL_VERB(ConfigApply)
KSTBELL_VERB(SetLocation)
KSTBELL_VERB(SetModbus)
KSTBELL_VERB(SetAp)
KSTBELL_VERB(SetStation)
KSTBELL_VERB(SetStaticIp)
KSTBELL_VERB(WifiMode)
KSTBELL_VERB(Reboot)
KSTBELL_VERB(ResetDefault)
KSTBELL_VERB(Firmware)
#ifdef KSTBELL_SITE_LOG
KSTBELL_VERB(SiteLog)
#endif
#ifdef KSTBELL_SERVICE_CLIENT
KSTBELL_VERB(Ring)
KSTBELL_VERB(StopAll)
KSTBELL_VERB(AlarmStart)
KSTBELL_VERB(AlarmStop)
KSTBELL_VERB(AlarmList)
KSTBELL_VERB(Bells)
KSTBELL_VERB(Log)
#endif
