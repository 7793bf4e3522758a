// Reading and writing DIMSE message parts over an established association.
#include <algorithm>
#include <vector>

#include "dicom/bufdata.h"
#include "dicom/dump.h"
#include "dicom/uid.h"
#include "net/associate_pdu.h"
#include "net/pdu_limits.h"
#include "net/pdu_service.h"
#include "service/log.h"
#include "service/text.h"

namespace tarvelin {

bool PDU_Service::Read(DcmObj& obj) {
  // The peer may be waiting for what we queued before it says anything more.
  if (!SendQueued() || !Link.Sock.Connected) return false;
  pdata.MsgStatus = 0;
  pdata.PartLimit = NextPartLimit;
  pdata.Oversized = false;
  NextPartLimit = 0;
  auto readPData = [&] {
    if (pdata.ReadDynamic(Link)) return true;
    WriteLog("ERROR, PDU_Service::Read, pdata.ReadDynamic(Link)");
    // A refused length leaves the connection open: end it with an A-ABORT.
    Abort(AbortSource::ServiceProvider, AbortReason::InvalidParameterValue);
    return false;
  };
  if (pdata.Length != 0 && !readPData()) return false;
  while (pdata.MsgStatus == 0) {
    std::uint8_t type = 0;
    if (!Link.Read8(type)) return false;
    switch (type) {
      case 0x04:
        if (!readPData()) return false;
        break;
      case 0x01: {
        AAssociateRQ again;
        again.Read(Link);
        Abort(AbortSource::ServiceProvider, AbortReason::UnexpectedPdu);
        WriteLog("ERROR, PDU_Service::Read Associate-RQ");
        return false;
      }
      case 0x02: {
        AAssociateAC again;
        again.Read(Link);
        Abort(AbortSource::ServiceProvider, AbortReason::UnexpectedPdu);
        WriteLog("ERROR, PDU_Service::Read Associate-AC");
        return false;
      }
      case 0x03:
        Abort(AbortSource::ServiceProvider, AbortReason::UnexpectedPdu);
        WriteLog("ERROR, PDU_Service::Read Associate-RJ");
        return false;
      case 0x05:
        if (!releaseRQ.Read(Link)) {
          Abort(AbortSource::ServiceProvider, AbortReason::InvalidParameterValue);
          WriteLog("ERROR, PDU_Service::Read Protocol Error");
          return false;
        }
        releaseAnswered_ = releaseRP.Write(Link);
        WriteDebugLog("INFO, PDU_Service::Read Release-RQ");
        return false;
      case 0x06:
        Close();
        WriteLog("WARNING, PDU_Service::Read Release-RSP");
        return false;
      case 0x07:
        Close();
        WriteLog("WARNING, PDU_Service::Read Abort-RQ");
        return false;
      default:
        Abort(AbortSource::ServiceProvider, AbortReason::UnrecognizedPdu);
        WriteLog("ERROR, PDU_Service::Read Protocol Error");
        return false;
    }
  }
  pdata.PartLimit = 0;
  if (pdata.Oversized) {
    pdata.VRBuffer.ClearQueues();
    obj.Clear();
    return true;
  }
  // A message that does not decode is the DIMSE user's fault to find, not a
  // fault of the upper layer protocol.
  if (!ParseRawVRIntoDCM(pdata.VRBuffer, obj, pdata.StoredPresentationContextID)) {
    Abort(AbortSource::ServiceUser);
    WriteLog("ERROR, PDU_Service::Read ParseRawVRIntoDCM()");
    return false;
  }
  return true;
}

bool PDU_Service::ParseRawVRIntoDCM(Buffer& buffer, DcmObj& obj, std::uint8_t contextID) {
  buffer.SetIncomingEndian(Buffer::LittleEndianOrder);
  std::string uid;
  if (!GetTransferSyntaxUID(contextID, uid)) {
    buffer.ClearQueues();
    WriteLog("ERROR, PDU_Service::ParseRawVRIntoDCM GetTransferSyntaxUID()");
    return false;
  }
  obj.TransferSyntax = uid;
  WriteDebugLog("INFO, PDU_Service::ParseRawVRIntoDCM, Transfer Syntax: " + uid);
  obj.ExplicitVR = uid == UID_ImplicitVRLittleEndian ? 0 : 1;
  BufData codec;
  codec.BigEndian = 0;
  codec.Stream.Bytes = buffer.TakeIncoming();
  if (!codec.ReadOjb(obj)) {
    WriteLog("ERROR, PDU_Service::ParseRawVRIntoDCM buf.ReadOjb()");
    return false;
  }
  if (DumpDataSets) DumpDataSet(obj, " << ");
  return true;
}

bool PDU_Service::Write(DcmObj& obj, int kind) {
  return QueuePart(obj, kind) && pdata.Send(Link);
}

bool PDU_Service::WriteMessage(DcmObj& command, DcmObj* dataSet, bool moreFollow) {
  if (!QueuePart(command, CommandPart)) return false;
  if (dataSet && !QueuePart(*dataSet, DataSetPart)) return false;
  if (moreFollow && Link.OutgoingCount() < SendBatchBytes) return true;
  return pdata.Send(Link);
}

bool PDU_Service::SendQueued() { return Link.OutgoingCount() == 0 || pdata.Send(Link); }

bool PDU_Service::QueuePart(DcmObj& obj, int kind) {
  if (pdata.StoredPresentationContextID == 0) {
    WriteLog("ERROR, PDU_Service::Write, pdata.PresentationContextID is 0");
    return false;
  }
  ParseDCMIntoRawVR(obj, pdata.VRBuffer);
  pdata.MsgHeaderToWrite = static_cast<std::uint8_t>(kind);
  // Never longer than the peer announced (0 announces no limit), and never
  // longer than our own maximum.
  std::uint32_t maximum = peerMaximumLength_ == 0 ? OurMaximumLength : peerMaximumLength_;
  if (maximum > OurMaximumLength) {
    maximum = OurMaximumLength;
    WriteDebugLog("INFO, PDU_Service::Write, MaximumLength set to 16384");
  }
  pdata.BlockSize = std::max<std::uint32_t>(maximum, 7) - 6;
  pdata.Queue(Link);
  return true;
}

bool PDU_Service::ParseDCMIntoRawVR(DcmObj& obj, Buffer& buffer) {
  if (DumpDataSets) DumpDataSet(obj, " >> ");
  // Encoded into the same memory for every message part of the association.
  BufData codec;
  codec.Stream.Bytes = std::move(encoded_);
  codec.Stream.Bytes.clear();
  codec.WriteObj(obj);
  buffer.Write(codec.Stream.Bytes.data(), codec.Stream.Bytes.size());
  encoded_ = std::move(codec.Stream.Bytes);
  return true;
}

void PDU_Service::DumpDataSet(DcmObj& obj, const char* arrow) {
  WriteLog(Trim(assocAC.GetCallingApTitle()) + arrow + Trim(assocAC.GetCalledApTitle()));
  std::vector<std::string> lines;
  Dump(obj, lines, 0);
  for (const std::string& line : lines) WriteLog(line);
  WriteLog("");
}

}  // namespace tarvelin
